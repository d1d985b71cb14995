#pragma once

#include "LWPlayer.h"

// A player that does what it is told at once, for tests that drive the store without media
// pipelines.
class FakePlayer : public LWPlayer {
public:
    void setSource(const QUrl& file) override { source = file; }
    void play() override { playing = true; }
    void pause() override { playing = false; }
    double rate() const override { return playing ? 1.0 : 0.0; }
    double position() const override { return at; }
    void seek(double seconds) override { at = seconds; }
    bool hasSoundOutput() const override { return sound; }

    QUrl source;
    bool playing = false;
    double at = 0;
    bool sound = true;
};
