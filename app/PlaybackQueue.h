#pragma once

// The play states of the transport.
enum TPlayState { psIdle = 0, psPlaying = 1, psPaused = 2 };

// What the window does when the play it waits for has ended.
enum class TAfterPlay { PlayNext, Stop, StartOver };

// The transport's state over a playlist, without a window: whether and what plays, the player's
// play whose end moves the playlist on, and which entry follows which. Rows count the entries as
// shown from 0; sequences are the entries' own numbers.
class TPlaybackQueue
{
public:
    TPlayState State() const { return m_state; }
    // The number of the entry that plays; -1 when none does (or it was removed while playing).
    int PlayingSequence() const { return m_sequence; }
    bool Loop() const { return m_loop; }
    void SetLoop(bool loop) { m_loop = loop; }

    // The entry with that number starts; its play is awaited once the player has started it.
    void Start(int sequence);
    void Await(int play) { m_awaitedPlay = play; }
    void Stop();
    // True from a start to the stop, also when the playing entry was removed meanwhile.
    bool HasEntry() const { return m_hasEntry; }
    // Pause pressed: pauses what plays, or resumes it as the player's new play. Without an
    // entry the transport only counts as playing again. Returns the state it leaves.
    TPlayState TogglePause(int resumedPlay);

    // True for the end of the play that moves the playlist on; only while playing.
    bool Awaits(int play) const;
    // The row that follows the given one among count rows: -1 past the end unless looping.
    int EntryAfter(int row, int count) const;
    // The player went on into the queued entry without a gap.
    void Joined(int sequence, int play);
    // The awaited play ended (failed: it could not be played to its end) at the given row.
    TAfterPlay Ended(int row, int count, bool failed);
    // An entry was removed and those after it numbered one down.
    void EntryRemoved(int sequence);
    // The entries were renumbered: the playing one now has this number (-1: it is gone).
    void EntryRenumbered(int sequence) { m_sequence = sequence; }

private:
    TPlayState m_state = psIdle;
    int m_sequence = -1;
    int m_awaitedPlay = 0; // 0 for none
    bool m_hasEntry = false;
    bool m_loop = false;
};
