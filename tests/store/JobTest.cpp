#include "BCError.h"
#include "LWStore.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace {

class Jobs : public ::testing::Test {
protected:
    void SetUp() override { clearPreferences(); }

    // A job that reports, then waits until released or stopped.
    LWJobSpec waitingJob(std::atomic<bool>& release) {
        LWJobSpec plan;
        plan.status = QStringLiteral("Working…");
        plan.errorTitle = QStringLiteral("Work didn't finish");
        plan.stoppedNote = QStringLiteral("Work stopped.");
        plan.body = [&release](const LWJobContext& job) -> std::function<void()> {
            job.status(QStringLiteral("Halfway…"), 0.5);
            while (!release.load()) {
                job.checkStop();
                QThread::msleep(2);
            }
            return [] {};
        };
        return plan;
    }

    ScriptedHooks hooks;
    TestServices services;
    LWStore store{hooks, services.get(), QStringLiteral("en_US")};
};

TEST_F(Jobs, SuccessAppliesResultOnMainThreadAndClearsStatus) {
    Qt::HANDLE mainThread = QThread::currentThreadId();
    Qt::HANDLE bodyThread = nullptr;
    Qt::HANDLE applyThread = nullptr;
    LWJobSpec plan;
    plan.status = QStringLiteral("Counting…");
    plan.progress = 0.0;
    plan.body = [&](const LWJobContext& job) -> std::function<void()> {
        bodyThread = QThread::currentThreadId();
        job.status(QStringLiteral("Counting…"), 0.75);
        return [&] {
            applyThread = QThread::currentThreadId();
            store.setNote(QStringLiteral("Counted."));
        };
    };
    ASSERT_TRUE(store.startJob(std::move(plan)));
    EXPECT_EQ(store.busy(), QStringLiteral("Counting…"));
    EXPECT_EQ(store.progress(), 0.0);
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));

    EXPECT_NE(bodyThread, mainThread);
    EXPECT_EQ(applyThread, mainThread);
    EXPECT_EQ(store.note(), QStringLiteral("Counted."));
    EXPECT_FALSE(store.progress().has_value());
    EXPECT_TRUE(hooks.alerts.isEmpty());
    // Jobs other than opening keep their finished handle.
    ASSERT_TRUE(store.work());
    EXPECT_TRUE(store.work()->ended());
}

TEST_F(Jobs, ReportsReachTheStatusLine) {
    std::atomic<bool> release{false};
    ASSERT_TRUE(store.startJob(waitingJob(release)));
    ASSERT_TRUE(spinUntil([&] { return store.busy() == QStringLiteral("Halfway…"); }));
    EXPECT_EQ(store.progress(), 0.5);
    release = true;
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));
}

TEST_F(Jobs, RefusedWhileBusyWithABeep) {
    std::atomic<bool> release{false};
    ASSERT_TRUE(store.startJob(waitingJob(release)));
    bool secondRan = false;
    LWJobSpec second;
    second.status = QStringLiteral("Second…");
    second.body = [&](const LWJobContext&) -> std::function<void()> {
        secondRan = true;
        return [] {};
    };
    EXPECT_FALSE(store.startJob(second));
    EXPECT_EQ(hooks.beeps, 1);
    EXPECT_EQ(store.busy(), QStringLiteral("Working…"));

    release = true;
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));
    EXPECT_FALSE(secondRan);
}

TEST_F(Jobs, CancelLeavesNoErrorClearsBusyAndLeavesItsNote) {
    std::atomic<bool> release{false};
    bool applied = false;
    LWJobSpec plan = waitingJob(release);
    auto body = plan.body;
    plan.body = [&, body](const LWJobContext& job) -> std::function<void()> {
        body(job);
        return [&] { applied = true; };
    };
    ASSERT_TRUE(store.startJob(std::move(plan)));
    store.cancelWork();
    // Cancellation is cooperative: nothing is cleared until the job ends by itself.
    EXPECT_TRUE(store.isBusy());
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));
    EXPECT_FALSE(store.progress().has_value());
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_FALSE(applied);
    EXPECT_EQ(store.note(), QStringLiteral("Work stopped."));
}

TEST_F(Jobs, AResultThatArrivesAfterAStopIsDropped) {
    std::atomic<bool> release{false};
    bool applied = false;
    LWJobSpec plan;
    plan.status = QStringLiteral("Ignoring stops…");
    plan.body = [&](const LWJobContext&) -> std::function<void()> {
        while (!release.load())
            QThread::msleep(2);
        return [&] { applied = true; };
    };
    ASSERT_TRUE(store.startJob(std::move(plan)));
    store.cancelWork();
    release = true;
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));
    EXPECT_FALSE(applied);
    EXPECT_TRUE(store.note().isEmpty()); // no stopped note given: the note is untouched
}

TEST_F(Jobs, StopWithNoJobChangesNothing) {
    store.setNote(QStringLiteral("Idle."));
    store.cancelWork();
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(store.note(), QStringLiteral("Idle."));
    EXPECT_EQ(hooks.beeps, 0);
}

TEST_F(Jobs, ErrorsShowTheJobsTitleAndTheSentence) {
    store.setNote(QStringLiteral("Before."));
    LWJobSpec plan;
    plan.status = QStringLiteral("Failing…");
    plan.errorTitle = QStringLiteral("Export failed");
    plan.body = [](const LWJobContext&) -> std::function<void()> {
        throw BCError(QStringLiteral("The disk is full."), QStringLiteral("ENOSPC"));
    };
    ASSERT_TRUE(store.startJob(std::move(plan)));
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Export failed"));
    EXPECT_EQ(hooks.alerts[0].message, QStringLiteral("The disk is full."));
    EXPECT_EQ(store.note(), QStringLiteral("Before."));
}

TEST_F(Jobs, ALateReportNeverRevivesAFinishedJob) {
    // The report is posted from the worker after the job has already ended.
    std::shared_ptr<LWJobContext> kept;
    LWJobSpec plan;
    plan.status = QStringLiteral("Quick…");
    plan.body = [&](const LWJobContext& job) -> std::function<void()> {
        kept = std::make_shared<LWJobContext>(job);
        return [] {};
    };
    ASSERT_TRUE(store.startJob(std::move(plan)));
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }));
    kept->status(QStringLiteral("Too late…"), 0.9);
    spinUntil([] { return false; }, 100);
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.progress().has_value());
}

TEST_F(Jobs, ExportsMayReplaceARunningJob) {
    std::atomic<bool> release{false};
    ASSERT_TRUE(store.startJob(waitingJob(release)));
    const auto first = store.work();
    std::atomic<bool> releaseSecond{false};
    LWJobSpec second = waitingJob(releaseSecond);
    second.refuseWhileBusy = false;
    ASSERT_TRUE(store.startJob(std::move(second)));
    EXPECT_NE(store.work(), first);
    EXPECT_EQ(hooks.beeps, 0);
    const auto replacing = store.work();
    release = true;
    releaseSecond = true;
    // Both bodies read these flags: wait for both to end before they go out of scope.
    ASSERT_TRUE(spinUntil([&] { return first->ended() && replacing->ended(); }));
}

TEST_F(Jobs, AStoreDestroyedMidJobIsNotTouched) {
    std::atomic<bool> release{false};
    auto doomed = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
    ASSERT_TRUE(doomed->startJob(waitingJob(release)));
    const auto handle = doomed->work();
    doomed.reset(); // asks the job to stop
    ASSERT_TRUE(spinUntil([&] { return handle->ended(); }));
    EXPECT_TRUE(hooks.alerts.isEmpty());
}

} // namespace
