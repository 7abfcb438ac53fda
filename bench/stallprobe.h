#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;

// Measures how long the event loop goes without a turn: a precise 1 ms timer notes the
// gap since its last tick. Each tick also calls a hook, so the benchmark can watch its
// progress from inside the loop it measures.
class StallProbe : public QObject
{
    Q_OBJECT
public:
    explicit StallProbe(std::function<void()> onTick, QObject *parent = nullptr);

    void start();
    void stop();

    // Longest gap between two ticks since start(), and since the last takeIntervalMax().
    double worstMs() const { return m_worstNs / 1e6; }
    // Of the longest gap, the time the thread actually ran; the rest it waited for a core
    // (other work on the machine). And the longest time the thread ran between two ticks.
    double worstGapCpuMs() const { return m_worstGapCpuNs / 1e6; }
    double worstCpuMs() const { return m_worstCpuNs / 1e6; }
    double takeIntervalMaxMs();
    // Gaps longer than 50 ms since start().
    int longStalls() const { return m_longStalls; }
    qint64 elapsedNs() const { return m_clock.nsecsElapsed(); }

private:
    void tick();

    QTimer *m_timer;
    std::function<void()> m_onTick;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    qint64 m_worstGapCpuNs = 0;
    qint64 m_worstCpuNs = 0;
    qint64 m_worstNs = 0;
    qint64 m_intervalWorstNs = 0;
    int m_longStalls = 0;
};
