#include "ModelDownloader.h"

#include "BCError.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

constexpr int stallMs = 60000;                 // no byte for this long fails the transfer
constexpr qint64 readBuffer = 4 * 1024 * 1024; // Qt's own buffer while the disk catches up

std::exception_ptr serverAnswered(int code) {
    return std::make_exception_ptr(
        BCError(QStringLiteral("The model server answered %1. Please try again later.").arg(code)));
}

std::exception_ptr failed(const QString& why) {
    return std::make_exception_ptr(
        BCError(QStringLiteral("The model download failed: %1").arg(why)));
}

// The first byte offset of a "Content-Range: bytes FIRST-LAST/TOTAL" header, or -1.
qint64 rangeStart(const QByteArray& header) {
    const QByteArray value = header.trimmed();
    if (!value.startsWith("bytes "))
        return -1;
    const qsizetype dash = value.indexOf('-');
    if (dash < 0)
        return -1;
    bool ok = false;
    const qint64 first = value.mid(6, dash - 6).trimmed().toLongLong(&ok);
    return ok ? first : -1;
}

} // namespace

ModelDownloader::ModelDownloader(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_network(network) {}

ModelDownloader::~ModelDownloader() {
    dropReply();
}

void ModelDownloader::start(const QUrl& url, const QString& partPath, Bytes onBytes, Done done) {
    m_url = url;
    m_onBytes = std::move(onBytes);
    m_done = std::move(done);
    m_file.setFileName(partPath);
    const QFileInfo part(partPath);
    send(part.exists() && part.size() > 0);
}

void ModelDownloader::send(bool resume) {
    m_offset = resume ? QFileInfo(m_file.fileName()).size() : 0;
    m_received = m_offset;
    m_accepted = false;
    m_expected = -1;
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(stallMs);
    if (m_offset > 0)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_offset) + '-');
    m_reply = m_network.get(request);
    m_reply->setReadBufferSize(readBuffer);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &ModelDownloader::onHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &ModelDownloader::onData);
    connect(m_reply, &QNetworkReply::finished, this, &ModelDownloader::onFinished);
}

void ModelDownloader::cancel() {
    if (!m_done)
        return;
    m_cancelled = true;
    if (m_reply)
        m_reply->abort(); // finishes synchronously through onFinished
    else
        complete(std::make_exception_ptr(BCCancelled()));
}

void ModelDownloader::onHeaders() {
    if (!m_reply || m_accepted || !m_done)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    const int code = status.toInt();
    if (code >= 300 && code < 400)
        return; // a redirect being followed
    QIODevice::OpenMode mode;
    if (code == 206 && m_offset > 0 &&
        rangeStart(m_reply->rawHeader("Content-Range")) == m_offset) {
        mode = QIODevice::WriteOnly | QIODevice::Append;
    } else if (code == 206 && !m_restarted) {
        // A range other than the one asked for: start the whole file again, once.
        m_restarted = true;
        dropReply();
        send(false);
        return;
    } else if (code == 200) {
        mode = QIODevice::WriteOnly | QIODevice::Truncate;
        m_offset = 0;
        m_received = 0;
    } else {
        if (code == 416)
            QFile::remove(m_file.fileName());
        dropReply();
        complete(serverAnswered(code));
        return;
    }
    if (!m_file.open(mode)) {
        const QString why = m_file.errorString();
        dropReply();
        complete(failed(why));
        return;
    }
    // Where the body should end. When Qt notices the server's close while bytes are still unread,
    // it ends the reply without an error, so the count is what tells a cut transfer from a
    // finished one.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_expected = length.isValid() ? m_received + length.toLongLong() : -1;
    m_accepted = true;
    if (m_onBytes)
        m_onBytes(m_received);
}

void ModelDownloader::onData() {
    if (!m_reply || !m_done)
        return;
    if (!m_accepted) {
        onHeaders();
        if (!m_accepted)
            return;
    }
    const QByteArray block = m_reply->readAll();
    if (block.isEmpty())
        return;
    if (m_file.write(block) != block.size()) {
        const QString why = m_file.errorString();
        dropReply();
        complete(failed(why));
        return;
    }
    m_received += block.size();
    if (m_onBytes)
        m_onBytes(m_received);
}

void ModelDownloader::onFinished() {
    if (!m_reply || !m_done)
        return;
    if (m_cancelled) {
        dropReply();
        complete(std::make_exception_ptr(BCCancelled()));
        return;
    }
    if (!m_accepted)
        onHeaders();
    if (!m_done || !m_reply)
        return; // onHeaders completed or restarted the transfer
    onData();
    if (!m_done || !m_reply)
        return;
    const QNetworkReply::NetworkError error = m_reply->error();
    // A reply short of its promised length is a cut connection even when Qt saw no error.
    const bool cut = m_expected >= 0 && m_received < m_expected;
    if (error == QNetworkReply::NoError && !cut) {
        dropReply();
        complete(nullptr);
        return;
    }
    QString why = QStringLiteral("the connection closed before the whole file arrived.");
    if (error == QNetworkReply::OperationCanceledError)
        why = QStringLiteral("the server stopped sending data.");
    else if (error != QNetworkReply::NoError)
        why = m_reply->errorString();
    dropReply();
    complete(failed(why));
}

void ModelDownloader::complete(std::exception_ptr error) {
    if (!m_done)
        return; // completes exactly once
    if (m_file.isOpen())
        m_file.close();
    Done done = std::move(m_done);
    m_done = nullptr;
    done(error);
}

void ModelDownloader::dropReply() {
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater(); // deleting a running reply aborts it
}
