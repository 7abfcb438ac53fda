#include "stallprobe.h"

#include <QTimer>

#include <ctime>

namespace {

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

StallProbe::StallProbe(std::function<void()> onTick, QObject *parent)
    : QObject(parent), m_timer(new QTimer(this)), m_onTick(std::move(onTick))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1);
    connect(m_timer, &QTimer::timeout, this, &StallProbe::tick);
}

void StallProbe::start()
{
    m_clock.start();
    m_last = 0;
    m_lastCpu = threadCpuNs();
    m_worstNs = m_intervalWorstNs = 0;
    m_worstGapCpuNs = m_worstCpuNs = 0;
    m_longStalls = 0;
    m_timer->start();
}

void StallProbe::stop()
{
    m_timer->stop();
}

double StallProbe::takeIntervalMaxMs()
{
    const double ms = m_intervalWorstNs / 1e6;
    m_intervalWorstNs = 0;
    return ms;
}

void StallProbe::tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 cpu = threadCpuNs();
    const qint64 gap = now - m_last;
    const qint64 ran = cpu - m_lastCpu;
    m_last = now;
    m_lastCpu = cpu;
    if (gap > m_worstNs) {
        m_worstNs = gap;
        m_worstGapCpuNs = ran;
    }
    m_worstCpuNs = qMax(m_worstCpuNs, ran);
    m_intervalWorstNs = qMax(m_intervalWorstNs, gap);
    if (gap > 50'000'000)
        ++m_longStalls;
    if (m_onTick)
        m_onTick();
}
