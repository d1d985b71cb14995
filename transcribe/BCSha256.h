#pragma once

#include <QString>
#include <stop_token>

// SHA-256 of a whole file through OpenSSL's EVP digest, read 4 MiB at a time (never the whole
// file in memory). Blocking; any thread.
namespace BCSha256 {

// 64 lower-case hex digits. Throws BCError when the file cannot be opened or read, BCCancelled
// when `stop` fires between two reads. The file is closed on every path.
QString ofFile(const QString& path, std::stop_token stop = {});

// 64 lower-case hex digits of `bytes`.
QString ofBytes(const QByteArray& bytes);

} // namespace BCSha256
