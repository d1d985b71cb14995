// lorowen-cli key, run as a person would: with a throwaway keyring on a private session bus,
// and with no keyring at all.
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct KeyRun {
    int status = -1;
    QString out;
    QString err;
};

KeyRun run(const QString& program, const QStringList& arguments, const QByteArray& input,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

const QString cli = QStringLiteral(LOROWEN_CLI_PATH);

TEST(CliKey, SetsReadsAndRemovesTheKeyInTheKeyring) {
    // One private session for the whole sequence; the key goes in on standard input only.
    const QString script =
        QStringLiteral("printf '  sk_cli_secret  \\n' | \"$0\" key set; echo \"set=$?\"; "
                       "\"$0\" key status; echo \"status=$?\"; "
                       "\"$0\" key remove; echo \"remove=$?\"; "
                       "\"$0\" key status; echo \"after=$?\"");
    const KeyRun r = run(QStringLiteral(LOROWEN_KEYRING_WRAPPER),
                         {QStringLiteral("bash"), QStringLiteral("-c"), script, cli}, {});
    if (r.status == 77)
        GTEST_SKIP() << r.err.toStdString();
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Key saved in your keyring.\nset=0\n"
                     "An ElevenLabs key is saved in your keyring.\nstatus=0\n"
                     "Key removed from this computer.\nremove=0\n"
                     "No ElevenLabs key is saved.\nafter=0\n");
    EXPECT_FALSE(r.err.contains(QStringLiteral("sk_cli_secret")));
}

TEST(CliKey, WithoutAKeyringNothingIsWrittenAnywhere) {
    TestFolder folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + folder.path(QStringLiteral("no-bus")));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("BRCT_ELEVENLABS_KEYSTORE")); // the real keyring lookup
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.path(QStringLiteral("data")));
    const KeyRun r = run(cli, {QStringLiteral("key"), QStringLiteral("set")}, "sk_nowhere\n", env);
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("couldn't reach a keyring on this computer, so "
                                              "the key wasn't saved")))
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("sk_nowhere")));
    EXPECT_EQ(QDir(folder.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
}

TEST(CliKey, BadUsageExitsTwo) {
    struct Case {
        QStringList args;
        QByteArray input;
    };
    const QList<Case> cases = {
        {{QStringLiteral("key")}, {}},
        {{QStringLiteral("key"), QStringLiteral("show")}, {}},
        {{QStringLiteral("key"), QStringLiteral("set"), QStringLiteral("sk_on_the_line")}, {}},
        {{QStringLiteral("key"), QStringLiteral("set")}, " \n"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRCT_ELEVENLABS_KEYSTORE"), QStringLiteral("memory"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const KeyRun r = run(cli, c.args, c.input, env);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage: lorowen-cli key")))
            << r.err.toStdString();
    }
}

} // namespace
