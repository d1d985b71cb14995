#include "BCSha256.h"

#include "BCError.h"

#include <QFile>
#include <QFileInfo>
#include <memory>
#include <openssl/evp.h>
#include <vector>

namespace BCSha256 {

namespace {

struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestFree>;

constexpr qint64 chunkBytes = 4 * 1024 * 1024;

Digest start() {
    Digest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1)
        throw BCError(QStringLiteral("The checksum couldn't be computed."),
                      QStringLiteral("EVP_DigestInit_ex failed"));
    return digest;
}

void feed(EVP_MD_CTX* digest, const void* data, size_t size) {
    if (EVP_DigestUpdate(digest, data, size) != 1)
        throw BCError(QStringLiteral("The checksum couldn't be computed."),
                      QStringLiteral("EVP_DigestUpdate failed"));
}

QString finish(EVP_MD_CTX* digest) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(digest, out, &size) != 1)
        throw BCError(QStringLiteral("The checksum couldn't be computed."),
                      QStringLiteral("EVP_DigestFinal_ex failed"));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(out), qsizetype(size)).toHex());
}

} // namespace

QString ofFile(const QString& path, std::stop_token stop) {
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly))
        throw BCError(QStringLiteral("Can't read “%1”.").arg(name), file.errorString());
    Digest digest = start();
    std::vector<char> buffer(static_cast<size_t>(chunkBytes));
    for (;;) {
        if (stop.stop_requested())
            throw BCCancelled();
        const qint64 got = file.read(buffer.data(), chunkBytes);
        if (got < 0)
            throw BCError(QStringLiteral("Can't read “%1”.").arg(name), file.errorString());
        if (got == 0)
            break;
        feed(digest.get(), buffer.data(), size_t(got));
    }
    return finish(digest.get());
}

QString ofBytes(const QByteArray& bytes) {
    Digest digest = start();
    feed(digest.get(), bytes.constData(), size_t(bytes.size()));
    return finish(digest.get());
}

} // namespace BCSha256
