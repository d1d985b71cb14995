// `lorowen-cli batch --slurm-script` submitted to a real Slurm: munged, slurmctld and slurmd are
// started on this machine in a private folder, the printed array script runs a small library
// with the offline recogniser, and the daemons are stopped again. Every client call has a time
// limit; the daemons are stopped by their process ids.
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Ran {
    bool finished = false;
    int status = -1;
    QString out;
    QString err;
};

// Runs a Slurm or munge client, killed after `seconds`.
Ran runLimited(const QString& program, const QStringList& arguments, int seconds = 10) {
    QProcess process;
    process.start(program, arguments);
    Ran ran;
    ran.finished = process.waitForFinished(seconds * 1000);
    if (!ran.finished) {
        process.kill();
        process.waitForFinished(2000);
    }
    ran.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = QString::fromUtf8(process.readAllStandardOutput());
    ran.err = QString::fromUtf8(process.readAllStandardError());
    return ran;
}

// A TCP port nobody listens on now.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

class SingleNodeSlurm : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"munged", "slurmctld", "slurmd", "sbatch", "squeue", "sinfo"}) {
            if (QStandardPaths::findExecutable(
                    QString::fromLatin1(name),
                    {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
                    .isEmpty())
                GTEST_SKIP() << name << " is not installed (scripts/setup installs slurm-wlm "
                             << "and munge)";
        }
        if (::geteuid() != 0)
            GTEST_SKIP() << "slurmd runs the tasks as root here";
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        // munged insists on a socket folder that only its owner may write.
        const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
        QFile::setPermissions(root, open);
        for (const char* sub : {"munge", "state", "spool", "lib/a", "lib/b", "out"})
            ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(path("munge"), open);
        QFile key(path("munge.key"));
        ASSERT_TRUE(key.open(QIODevice::WriteOnly));
        QFile random(QStringLiteral("/dev/urandom"));
        ASSERT_TRUE(random.open(QIODevice::ReadOnly));
        key.write(random.read(1024));
        key.close();
        QFile::setPermissions(path("munge.key"), QFileDevice::ReadOwner);
    }

    void TearDown() override {
        // The daemons in reverse order: terminate, and kill what is still there after 5 s.
        for (auto it = daemons.rbegin(); it != daemons.rend(); ++it) {
            QProcess& daemon = **it;
            if (daemon.state() == QProcess::NotRunning)
                continue;
            daemon.terminate();
            if (!daemon.waitForFinished(5000)) {
                daemon.kill();
                daemon.waitForFinished(2000);
            }
        }
        qunsetenv("SLURM_CONF");
    }

    QString path(const char* name) const { return QDir(root).filePath(QString::fromUtf8(name)); }

    void startDaemon(const QString& program, const QStringList& arguments, const char* log) {
        auto daemon = std::make_unique<QProcess>();
        daemon->setProcessChannelMode(QProcess::MergedChannels);
        daemon->setStandardOutputFile(path(log));
        daemon->start(program, arguments);
        ASSERT_TRUE(daemon->waitForStarted(5000)) << program.toStdString();
        daemons.push_back(std::move(daemon));
    }

    QString log(const char* name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The node's state as sinfo prints it ("idle", "mixed", "drained", …).
    QString nodeState() const {
        const Ran r =
            runLimited(QStringLiteral("sinfo"),
                       {QStringLiteral("-h"), QStringLiteral("-o"), QStringLiteral("%T")});
        return r.out.trimmed();
    }

    // Outside the test's private temporary folder: munged wants every folder above its socket
    // open to all.
    QTemporaryDir dir{QStringLiteral("/tmp/lorowen-slurm-XXXXXX")};
    QString root;
    std::vector<std::unique_ptr<QProcess>> daemons;
};

TEST_F(SingleNodeSlurm, TheArrayScriptCaptionsEveryShare) {
    QElapsedTimer wall;
    wall.start();
    // A small library: two recorded sentences and a third, in folders to mirror.
    const QString sentences = QStringLiteral(LOROWEN_SPHINX_LIBRIVOX);
    const struct {
        const char* media;
        const char* sentence;
    } library[] = {{"lib/a/one.wav", "sense_and_sensibility_01_austen_64kb-0880.wav"},
                   {"lib/b/two.wav", "sense_and_sensibility_01_austen_64kb-0930.wav"},
                   {"lib/three.wav", "sense_and_sensibility_01_austen_64kb-0890.wav"}};
    for (const auto& file : library)
        ASSERT_TRUE(
            QFile::copy(sentences + u'/' + QString::fromLatin1(file.sentence), path(file.media)));

    const int controllerPort = freePort();
    int nodePort = freePort();
    while (nodePort == controllerPort)
        nodePort = freePort();
    const QString conf =
        QStringLiteral("ClusterName=lorowen\n"
                       "SlurmctldHost=localhost\n"
                       "SlurmUser=root\n"
                       "SlurmdUser=root\n"
                       "SlurmctldPort=%1\n"
                       "SlurmdPort=%2\n"
                       "AuthType=auth/munge\n"
                       "AuthInfo=socket=%3/munge/munge.socket\n"
                       "CredType=cred/munge\n"
                       "StateSaveLocation=%3/state\n"
                       "SlurmdSpoolDir=%3/spool\n"
                       "SlurmctldPidFile=%3/slurmctld.pid\n"
                       "SlurmdPidFile=%3/slurmd.pid\n"
                       "SlurmctldLogFile=%3/slurmctld.log\n"
                       "SlurmdLogFile=%3/slurmd.log\n"
                       // The cgroup tracker fails silently in containers: jobs end without
                       // output and the node drains.
                       "ProctrackType=proctrack/linuxproc\n"
                       "TaskPlugin=task/none\n"
                       "SelectType=select/cons_tres\n"
                       "SelectTypeParameters=CR_Core\n"
                       "JobCompType=jobcomp/none\n"
                       "AccountingStorageType=accounting_storage/none\n"
                       "MpiDefault=none\n"
                       "ReturnToService=2\n"
                       "NodeName=localhost CPUs=%4 RealMemory=1000 State=UNKNOWN\n"
                       "PartitionName=debug Nodes=localhost Default=YES MaxTime=10 State=UP\n")
            .arg(controllerPort)
            .arg(nodePort)
            .arg(root)
            .arg(std::max(QThread::idealThreadCount(), 1));
    QFile confFile(path("slurm.conf"));
    ASSERT_TRUE(confFile.open(QIODevice::WriteOnly));
    confFile.write(conf.toUtf8());
    confFile.close();
    qputenv("SLURM_CONF", path("slurm.conf").toUtf8());

    startDaemon(QStringLiteral("munged"),
                {QStringLiteral("--foreground"), QStringLiteral("--key-file=") + path("munge.key"),
                 QStringLiteral("--socket=") + path("munge/munge.socket"),
                 QStringLiteral("--pid-file=") + path("munged.pid"),
                 QStringLiteral("--log-file=") + path("munged.log"),
                 QStringLiteral("--seed-file=") + path("munged.seed")},
                "munged.out");
    ASSERT_TRUE(spinUntil(
                    [&] {
                        return QFile::exists(path("munge/munge.socket")) ||
                               daemons.back()->state() == QProcess::NotRunning;
                    },
                    10000) &&
                QFile::exists(path("munge/munge.socket")))
        << log("munged.log").toStdString() << log("munged.out").toStdString();
    startDaemon(QStringLiteral("slurmctld"),
                {QStringLiteral("-D"), QStringLiteral("-f"), path("slurm.conf")}, "slurmctld.out");
    startDaemon(QStringLiteral("slurmd"),
                {QStringLiteral("-D"), QStringLiteral("-N"), QStringLiteral("localhost"),
                 QStringLiteral("-f"), path("slurm.conf")},
                "slurmd.out");
    ASSERT_TRUE(spinUntil(
        [&] {
            QThread::msleep(100);
            return nodeState() == QStringLiteral("idle");
        },
        30000))
        << nodeState().toStdString() << log("slurmctld.log").toStdString()
        << log("slurmd.log").toStdString();

    // The script as a person would make it, submitted as it stands.
    const Ran script = runLimited(QStringLiteral(LOROWEN_CLI_PATH),
                                  {QStringLiteral("batch"), path("lib"), QStringLiteral("-o"),
                                   path("out"), QStringLiteral("--engine"),
                                   QStringLiteral("speech"), QStringLiteral("--slurm-script"),
                                   QStringLiteral("--tasks"), QStringLiteral("3")},
                                  30);
    ASSERT_EQ(script.status, 0) << script.err.toStdString();
    QFile scriptFile(path("job.sh"));
    ASSERT_TRUE(scriptFile.open(QIODevice::WriteOnly));
    scriptFile.write(script.out.toUtf8());
    scriptFile.close();
    const Ran submitted =
        runLimited(QStringLiteral("sbatch"), {QStringLiteral("--parsable"), path("job.sh")});
    ASSERT_EQ(submitted.status, 0) << submitted.err.toStdString();
    const QString job = submitted.out.trimmed().section(u';', 0, 0);
    ASSERT_FALSE(job.isEmpty());
    // squeue, not sbatch --wait (which polls every few seconds, then every ten).
    const bool drained = spinUntil(
        [&] {
            const Ran queue = runLimited(QStringLiteral("squeue"),
                                         {QStringLiteral("-h"), QStringLiteral("-j"), job,
                                          QStringLiteral("-o"), QStringLiteral("%i %T")});
            QThread::msleep(200);
            return queue.finished && queue.status == 0 && queue.out.trimmed().isEmpty();
        },
        180000);
    ASSERT_TRUE(drained) << log("slurmctld.log").toStdString() << log("slurmd.log").toStdString();
    EXPECT_EQ(nodeState(), QStringLiteral("idle")) << log("slurmd.log").toStdString();

    // Every output mirrors its file; the tasks' reports together name each file once, done.
    for (const char* srt : {"out/a/one.srt", "out/b/two.srt", "out/three.srt"}) {
        QFile file(path(srt));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << srt;
        EXPECT_TRUE(file.readAll().startsWith("1\n00:00:")) << srt;
    }
    QStringList seen;
    for (int task = 0; task < 3; ++task) {
        const QString name = QStringLiteral("out/lorowen-batch-%1_%2").arg(job).arg(task);
        EXPECT_EQ(log((name + QStringLiteral(".log")).toUtf8().constData()), QString())
            << "task " << task << " said something on standard error";
        const QString report = log((name + QStringLiteral(".jsonl")).toUtf8().constData());
        for (const QString& line : report.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            EXPECT_EQ(object.value(QStringLiteral("status")).toString(), QStringLiteral("done"))
                << line.toStdString();
            seen.append(
                QDir(root).relativeFilePath(object.value(QStringLiteral("path")).toString()));
        }
    }
    seen.sort();
    EXPECT_EQ(seen, QStringList({"lib/a/one.wav", "lib/b/two.wav", "lib/three.wav"}));
    std::printf("single-node Slurm: started, ran the 3-task array and checked it in %.1f s\n",
                wall.elapsed() / 1000.0);
}

} // namespace
