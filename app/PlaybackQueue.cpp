#include "app/PlaybackQueue.h"

void TPlaybackQueue::Start(int sequence)
{
    m_state = psPlaying;
    m_sequence = sequence;
    m_hasEntry = true;
}

void TPlaybackQueue::Stop()
{
    m_state = psIdle;
    m_sequence = -1;
    m_awaitedPlay = 0;
    m_hasEntry = false;
}

TPlayState TPlaybackQueue::TogglePause(int resumedPlay)
{
    if (!m_hasEntry)
        m_state = psPlaying;
    else if (m_state == psPlaying)
        m_state = psPaused;
    else if (m_state == psPaused) {
        // A resume is a play of its own; the paused play's notice is ignored.
        m_state = psPlaying;
        m_awaitedPlay = resumedPlay;
    }
    return m_state;
}

bool TPlaybackQueue::Awaits(int play) const
{
    return m_state == psPlaying && m_awaitedPlay != 0 && play == m_awaitedPlay;
}

int TPlaybackQueue::EntryAfter(int row, int count) const
{
    if (row < 0 || row >= count)
        return -1;
    if (row + 1 < count)
        return row + 1;
    return m_loop ? 0 : -1;
}

void TPlaybackQueue::Joined(int sequence, int play)
{
    m_sequence = sequence;
    m_awaitedPlay = play;
}

TAfterPlay TPlaybackQueue::Ended(int row, int count, bool failed)
{
    m_state = psIdle;
    m_awaitedPlay = 0;
    if (failed)
        return TAfterPlay::Stop;
    if (row < count - 1)
        return TAfterPlay::PlayNext;
    return m_loop && count > 0 ? TAfterPlay::StartOver : TAfterPlay::Stop;
}

void TPlaybackQueue::EntryRemoved(int sequence)
{
    if (m_sequence < 0 || sequence > m_sequence)
        return;
    m_sequence = sequence == m_sequence ? -1 : m_sequence - 1;
}
