// The window's single-instance socket: where it lives, and who may talk to it.
#include "LWInstance.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// Sets an environment variable for one test and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

QString makeFolder(const QString& path, mode_t mode) {
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), mode);
    return path;
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(),
                std::min(sizeof address.sun_path - 1, size_t(bytes.size())));
    return address;
}

// Runs `body` in a child process that has become the user "nobody"; returns its exit status.
template <typename Body> int asNobody(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

} // namespace

TEST(Instance, TheSocketLivesInAFolderOnlyThisUserCanEnter) {
    TestFolder root;
    const ScopedEnv temp("TMPDIR", QFile::encodeName(root.path(QStringLiteral("tmp"))));
    QDir().mkpath(root.path(QStringLiteral("tmp")));
    const QString fallback =
        root.path(QStringLiteral("tmp/lorowen-pro-%1").arg(qulonglong(::geteuid())));
    const QString privateRuntime = makeFolder(root.path(QStringLiteral("run")), 0700);
    const QString openRuntime = makeFolder(root.path(QStringLiteral("open")), 0777);

    struct Case {
        const char* what;
        QByteArray runtime;
        QString expected;
    };
    const Case cases[] = {
        {"the session's runtime folder", QFile::encodeName(privateRuntime), privateRuntime},
        {"a runtime folder open to others is passed over", QFile::encodeName(openRuntime),
         fallback},
        {"a relative runtime folder is passed over", QByteArray("run"), fallback},
        {"no runtime folder", QByteArray(), fallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(LWInstance::privateFolder(), c.expected);
        EXPECT_EQ(LWInstance::socketPath(), c.expected + QStringLiteral("/lorowen-pro.socket"));
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(Instance, AFallbackFolderSomeoneElsePreparedIsNeverUsed) {
    TestFolder root;
    const ScopedEnv temp("TMPDIR", QFile::encodeName(root.path(QStringLiteral("tmp"))));
    const ScopedEnv runtime("XDG_RUNTIME_DIR", QByteArray());
    const QString tmp = makeFolder(root.path(QStringLiteral("tmp")), 0777);
    const QString name = tmp + QStringLiteral("/lorowen-pro-%1").arg(qulonglong(::geteuid()));

    // Open to others.
    makeFolder(name, 0777);
    EXPECT_EQ(LWInstance::privateFolder(), QString());
    EXPECT_EQ(LWInstance::socketPath(), QString());
    EXPECT_FALSE(LWInstance::forward(QStringLiteral("/a.mp4")));
    QDir(name).removeRecursively();

    // A link to a private-looking folder.
    const QString elsewhere = makeFolder(root.path(QStringLiteral("elsewhere")), 0700);
    ASSERT_TRUE(QFile::link(elsewhere, name));
    EXPECT_EQ(LWInstance::privateFolder(), QString());
    QFile::remove(name);

    // Another user's folder, closed to everybody else.
    if (::geteuid() == 0) {
        makeFolder(name, 0700);
        ASSERT_EQ(::chown(QFile::encodeName(name).constData(), kNobody, kNobody), 0);
        EXPECT_EQ(LWInstance::privateFolder(), QString());
    }
}

TEST(Instance, ALaterLaunchHandsItsFileToTheRunningWindow) {
    TestFolder root;
    const QString socket =
        makeFolder(root.path(QStringLiteral("run")), 0700) + QStringLiteral("/s");
    EXPECT_FALSE(LWInstance::forward(QStringLiteral("/films/a.mp4"), socket)) << "nobody listens";

    LWInstance instance;
    QStringList asked;
    QObject::connect(&instance, &LWInstance::requested,
                     [&asked](const QString& path) { asked << path; });
    ASSERT_TRUE(instance.listen(socket));
    EXPECT_TRUE(LWInstance::forward(QStringLiteral("/films/ä b.mp4"), socket));
    EXPECT_TRUE(LWInstance::forward(QString(), socket)); // only raises the window
    EXPECT_TRUE(spinUntil([&] { return asked.size() == 2; }, 5000));
    EXPECT_EQ(asked, (QStringList{QStringLiteral("/films/ä b.mp4"), QString()}));

    // A second window after a crash takes over the stale socket.
    LWInstance later;
    EXPECT_TRUE(later.listen(socket));
}

TEST(Instance, AnotherUserCanNeitherSendFilesNorReceiveThem) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    // A folder everybody may reach and enter (the tests' own temporary folder is private), so
    // that only the peer check stands in the way.
    QTemporaryDir shared(QStringLiteral("/tmp/lorowen-instance-XXXXXX"));
    ASSERT_TRUE(shared.isValid());
    const QString folder = makeFolder(shared.path(), 0777);

    // Another user connects to this user's window and sends a path.
    const QString socket = folder + QStringLiteral("/window");
    LWInstance instance;
    QStringList asked;
    QObject::connect(&instance, &LWInstance::requested,
                     [&asked](const QString& path) { asked << path; });
    ASSERT_TRUE(instance.listen(socket));
    ::chmod(QFile::encodeName(socket).constData(), 0777);
    const sockaddr_un address = addressOf(socket);
    const int sent = asNobody([&address] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return 1;
        const char line[] = "/etc/shadow\n";
        (void)!::write(fd, line, sizeof line - 1);
        ::usleep(300 * 1000);
        ::close(fd);
        return 0;
    });
    ASSERT_EQ(sent, 0) << "the stranger could not even connect, so the check was not reached";
    spinUntil([] { return false; }, 700);
    EXPECT_TRUE(asked.isEmpty()) << asked.join(QLatin1Char(',')).toStdString();

    // Another user listens under the name first: a launch does not hand it the file.
    const QString trap = folder + QStringLiteral("/trap");
    const sockaddr_un trapAddress = addressOf(trap);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setgid(kNobody);
        if (::setuid(kNobody) != 0)
            ::_exit(90);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&trapAddress), sizeof trapAddress) != 0)
            ::_exit(91);
        ::chmod(trapAddress.sun_path, 0777);
        ::listen(fd, 1);
        (void)!::write(ready[1], "r", 1);
        const int peer = ::accept(fd, nullptr, nullptr);
        char buffer[64];
        const ssize_t got = ::read(peer, buffer, sizeof buffer);
        ::_exit(got > 0 ? 1 : 0); // 1: it received something
    }
    char r = 0;
    ASSERT_EQ(::read(ready[0], &r, 1), 1);
    EXPECT_FALSE(LWInstance::forward(QStringLiteral("/films/secret.mp4"), trap));
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other user's socket received the path";
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(WindowProgram, HelpVersionAndBadArgumentsAnswerWithoutOpeningAnything) {
    struct Case {
        QStringList arguments;
        int exit;
        const char* out; // a piece of standard output, or of standard error for a refusal
    };
    const Case cases[] = {
        {{QStringLiteral("--help")}, 0, "Usage: lorowen [options] [file]"},
        {{QStringLiteral("-h")}, 0, "A video or audio file to open."},
        {{QStringLiteral("--version")}, 0, "lorowen " LOROWEN_VERSION},
        {{QStringLiteral("--bogus")}, 2, "Unknown option 'bogus'."},
        {{QStringLiteral("a.mp4"), QStringLiteral("b.mp4")}, 2, "open one file at a time."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // A display for the refusals, which are judged once Qt has read its own options.
        if (c.exit != 0)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        else
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        window.setProcessEnvironment(env);
        window.start(QStringLiteral(LOROWEN_WINDOW_PATH), c.arguments);
        ASSERT_TRUE(window.waitForFinished(20000));
        EXPECT_EQ(window.exitCode(), c.exit);
        const QByteArray said =
            c.exit == 0 ? window.readAllStandardOutput() : window.readAllStandardError();
        EXPECT_TRUE(said.contains(c.out)) << said.toStdString();
    }
}
