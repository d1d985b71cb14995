// Prints the SHA-256 of a file the way model downloads are checked (BCSha256, 4 MiB reads), for
// bench/hash_vs_openssl.sh to time against `openssl dgst -sha256`.
#include "BCError.h"
#include "BCSha256.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_sha256 FILE\n");
        return 2;
    }
    try {
        std::printf("%s\n",
                    BCSha256::ofFile(QString::fromLocal8Bit(argv[1])).toLatin1().constData());
    } catch (const BCError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
