#include "LWLane.h"
#include "UiFixture.h"

#include <QScrollArea>
#include <QTest>
#include <cmath>

TEST(LaneMath, ScaleNeverZoomsOutPastTheWholeFile) {
    // A 10-minute file in a 600-point lane fits at 1 pixel per second; a smaller zoom keeps it.
    EXPECT_DOUBLE_EQ(LWLaneMath::scale(0, 600, 600), 1);
    EXPECT_DOUBLE_EQ(LWLaneMath::scale(0.5, 600, 600), 1);
    EXPECT_DOUBLE_EQ(LWLaneMath::scale(40, 600, 600), 40);
    EXPECT_DOUBLE_EQ(LWLaneMath::scale(0, 600, 0), 1);
    EXPECT_DOUBLE_EQ(LWLaneMath::contentWidth(40, 600, 600), 24000);
    EXPECT_DOUBLE_EQ(LWLaneMath::contentWidth(1, 100, 600), 600);
}

TEST(LaneMath, RulerSpacingFollowsTheScale) {
    const std::pair<double, double> cases[] = {{100, 1}, {80.1, 1}, {80, 5}, {30, 5},
                                               {20, 15}, {6, 15},   {5, 60}, {0.5, 60}};
    for (auto [scale, step] : cases)
        EXPECT_EQ(LWLaneMath::rulerStep(scale), step) << scale;
}

TEST(LaneMath, GesturesTakeHoldByWhereTheyStart) {
    Captions list{Caption::make(1, 2, QStringLiteral("a")),
                  Caption::make(2, 3, QStringLiteral("b")),
                  Caption::make(5, 8, QStringLiteral("c"))};
    const double scale = 100; // 6 points = 0.06 s
    struct Case {
        double t0;
        double y;
        int edge;
        int caption; // index, -1 for none
    };
    const Case cases[] = {
        {1.5, 0.3, 3, -1}, // the upper band scrubs even over a caption
        {1.04, 0.8, 0, 0}, // near a start edge
        {1.96, 0.8, 0, 1}, // within reach of b's start before a's end
        {2.0, 0.8, 0, 1},  // the shared boundary grabs the later caption's start
        {2.99, 0.8, 1, 1}, // near an end edge
        {6.5, 0.8, 2, 2},  // the body
        {4.0, 0.8, 3, -1}, // between captions: scrubbing
        {5.07, 0.8, 2, 2}, // just outside the tolerance: body
    };
    for (const Case& c : cases) {
        const LWLaneMath::Grab grab = LWLaneMath::classify(list, c.t0, c.y, scale);
        EXPECT_EQ(grab.edge, c.edge) << c.t0;
        if (c.caption < 0)
            EXPECT_FALSE(grab.id) << c.t0;
        else
            EXPECT_EQ(grab.id, list[c.caption].id) << c.t0;
    }
}

class Lane : public UiFixture {};

TEST_F(Lane, DraggingAnEdgeRetimesInOneUndoStep) {
    openMedia(10);
    setCaptions({{1, 2}, {4, 6}});
    const Captions before = store->captions();
    LWLane lane(*store);
    lane.resize(1000 + 2, 200);
    lane.show();
    lane.setPps(100);
    QWidget* canvas = lane.canvas();
    const int low = int(canvas->height() * 0.8);
    const int x0 = int(4 * lane.scale());
    lane.scroller()->ensureVisible(x0, low);
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(x0 + 2, low));
    for (int step = 1; step <= 5; ++step)
        QTest::mouseMove(canvas, QPoint(x0 - step * 10, low));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(x0 - 50, low));
    EXPECT_NEAR(store->captions()[1].start, 3.5, 0.011);
    EXPECT_EQ(store->captions()[1].end, 6);
    EXPECT_FALSE(store->selected()); // an edge drag does not select
    store->undo();
    EXPECT_EQ(store->captions(), before);
}

TEST_F(Lane, ClicksSeekAndSelectByBand) {
    openMedia(10);
    setCaptions({{1, 3}});
    LWLane lane(*store);
    lane.resize(1000, 200);
    lane.show();
    QWidget* canvas = lane.canvas();
    const double scale = lane.scale();
    // In the waveform band: seek only.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(int(2 * scale), canvas->height() / 4));
    EXPECT_NEAR(player->at, 2, 0.02);
    EXPECT_FALSE(store->selected());
    // On the block: select and seek.
    QTest::mouseClick(canvas, Qt::LeftButton, {},
                      QPoint(int(2.5 * scale), int(canvas->height() * 0.85)));
    EXPECT_NEAR(player->at, 2.5, 0.02);
    EXPECT_EQ(store->selected(), store->captions()[0].id);
}

TEST_F(Lane, FitShowsTheWholeFileAndZoomWidensTheCanvas) {
    openMedia(600);
    LWLane lane(*store);
    lane.resize(600, 200);
    lane.show();
    const int view = lane.scroller()->viewport()->width();
    EXPECT_EQ(lane.canvas()->width(), view);
    lane.setPps(30);
    EXPECT_EQ(lane.canvas()->width(), 18000);
    lane.setPps(0);
    EXPECT_EQ(lane.canvas()->width(), view);
}
