#pragma once

#include <QString>
#include <string>
#include <unordered_set>

// The token table of a ggml Whisper model file, for counting the tokens whisper.cpp makes of a
// prompt. The count is whisper.cpp's own: the text is cut into words by the GPT-2 pattern
// (ASCII letters, digits, other runs, white space), and each word into the longest table
// entries from its left end. Any thread; immutable once loaded.
class WhisperVocab {
public:
    // Reads the header of the model file (hyper-parameters, mel filters, token table); the
    // weights after it are never read. Throws BCError when the file is not a ggml Whisper model.
    static WhisperVocab load(const QString& modelPath);

    // Tokens of `text` (UTF-8 encoded first); bytes no entry covers are skipped, as whisper.cpp
    // skips them.
    int count(const QString& text) const;

    qsizetype size() const { return qsizetype(m_tokens.size()); }

private:
    std::unordered_set<std::string> m_tokens;
    size_t m_longest = 0;
};
