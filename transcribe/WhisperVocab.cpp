#include "WhisperVocab.h"

#include "BCError.h"

#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstring>
#include <locale>
#include <regex>

namespace {

constexpr uint32_t ggmlMagic = 0x67676d6c; // "ggml", little-endian

class Reader {
public:
    explicit Reader(QFile& file) : m_file(file) {}
    bool ok() const { return m_ok; }
    int32_t i32() {
        char bytes[4];
        if (m_file.read(bytes, 4) != 4) {
            m_ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | uint8_t(bytes[i]);
        int32_t out;
        std::memcpy(&out, &v, 4);
        return out;
    }
    std::string bytes(qint64 count) {
        std::string out(size_t(count), '\0');
        if (count > 0 && m_file.read(out.data(), count) != count)
            m_ok = false;
        return out;
    }
    void skip(qint64 count) {
        if (!m_file.seek(m_file.pos() + count))
            m_ok = false;
    }

private:
    QFile& m_file;
    bool m_ok = true;
};

BCError notAModel(const QString& path) {
    return BCError(
        QStringLiteral("“%1” isn't a Whisper model file.").arg(QFileInfo(path).fileName()));
}

} // namespace

WhisperVocab WhisperVocab::load(const QString& modelPath) {
    QFile file(modelPath);
    if (!file.open(QIODevice::ReadOnly))
        throw notAModel(modelPath);
    Reader in(file);
    if (uint32_t(in.i32()) != ggmlMagic)
        throw notAModel(modelPath);
    for (int i = 0; i < 11; ++i) // n_vocab, audio ctx/state/head/layer, text ×4, n_mels, ftype
        in.i32();
    const int32_t melCount = in.i32();
    const int32_t fftCount = in.i32();
    if (!in.ok() || melCount < 1 || melCount > 1024 || fftCount < 1 || fftCount > 4096)
        throw notAModel(modelPath);
    in.skip(qint64(melCount) * fftCount * 4);
    const int32_t count = in.i32();
    if (!in.ok() || count < 1 || count > 1000000)
        throw notAModel(modelPath);

    WhisperVocab vocab;
    vocab.m_tokens.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
        const int32_t length = in.i32();
        if (!in.ok() || length < 0 || length > 4096)
            throw notAModel(modelPath);
        std::string token = in.bytes(length);
        if (!in.ok())
            throw notAModel(modelPath);
        vocab.m_longest = std::max(vocab.m_longest, token.size());
        vocab.m_tokens.insert(std::move(token));
    }
    return vocab;
}

int WhisperVocab::count(const QString& text) const {
    // whisper.cpp's word pattern, matched with the classic locale as whisper-cli does.
    static const std::regex pattern = [] {
        std::regex re;
        re.imbue(std::locale::classic());
        re.assign(
            R"('s|'t|'re|'ve|'m|'ll|'d| ?[[:alpha:]]+| ?[[:digit:]]+| ?[^\s[:alpha:][:digit:]]+|\s+(?!\S)|\s+)");
        return re;
    }();

    int tokens = 0;
    std::string rest = text.toStdString();
    std::smatch match;
    while (std::regex_search(rest, match, pattern)) {
        const std::string word = match.str();
        const size_t n = word.size();
        size_t i = 0;
        while (i < n) {
            size_t j = std::min(n, i + m_longest);
            for (; j > i; --j) {
                if (m_tokens.count(word.substr(i, j - i)))
                    break;
            }
            if (j > i) {
                ++tokens;
                i = j;
            } else {
                ++i; // whisper.cpp logs "unknown token" and moves on by one byte
            }
        }
        rest = match.suffix().str();
    }
    return tokens;
}
