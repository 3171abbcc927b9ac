#include "app/PlaybackQueue.h"

#include <gtest/gtest.h>

namespace
{

TEST(PlaybackQueue, TheLastEntryEndsThePlaylistUnlessItLoops)
{
    TPlaybackQueue queue;
    EXPECT_EQ(queue.EntryAfter(0, 3), 1);
    EXPECT_EQ(queue.EntryAfter(2, 3), -1);
    EXPECT_EQ(queue.EntryAfter(-1, 3), -1);
    EXPECT_EQ(queue.EntryAfter(0, 0), -1);
    queue.Start(3);
    queue.Await(7);
    EXPECT_EQ(queue.Ended(2, 3, false), TAfterPlay::Stop);
    EXPECT_EQ(queue.State(), psIdle);

    queue.SetLoop(true);
    EXPECT_EQ(queue.EntryAfter(2, 3), 0);
    EXPECT_EQ(queue.EntryAfter(0, 1), 0); // one entry follows itself
    EXPECT_EQ(queue.Ended(2, 3, false), TAfterPlay::StartOver);
    EXPECT_EQ(queue.Ended(1, 3, false), TAfterPlay::PlayNext);
    // An empty playlist, or a song that could not be played to its end, never starts over.
    EXPECT_EQ(queue.Ended(-1, 0, false), TAfterPlay::Stop);
    EXPECT_EQ(queue.Ended(0, 3, true), TAfterPlay::Stop);
}

TEST(PlaybackQueue, OnlyTheAwaitedPlayOfAPlayingEntryMovesItOn)
{
    TPlaybackQueue queue;
    EXPECT_FALSE(queue.Awaits(0)); // nothing plays, nothing is awaited
    queue.Start(1);
    queue.Await(4);
    EXPECT_FALSE(queue.Awaits(3));
    EXPECT_TRUE(queue.Awaits(4));
    // A paused play's end does not move on; its resume is the play awaited then.
    EXPECT_EQ(queue.TogglePause(5), psPaused);
    EXPECT_FALSE(queue.Awaits(4));
    EXPECT_EQ(queue.TogglePause(5), psPlaying);
    EXPECT_FALSE(queue.Awaits(4));
    EXPECT_TRUE(queue.Awaits(5));
    queue.Joined(2, 6);
    EXPECT_EQ(queue.PlayingSequence(), 2);
    EXPECT_TRUE(queue.Awaits(6));
    queue.Stop();
    EXPECT_FALSE(queue.Awaits(6));
    EXPECT_EQ(queue.PlayingSequence(), -1);
}

TEST(PlaybackQueue, RemovedEntriesKeepThePlayingOneKnown)
{
    TPlaybackQueue queue;
    queue.Start(3);
    queue.EntryRemoved(5); // after it: nothing moves
    EXPECT_EQ(queue.PlayingSequence(), 3);
    queue.EntryRemoved(1); // before it: it is numbered one down
    EXPECT_EQ(queue.PlayingSequence(), 2);
    // The playing entry itself: no entry is the playing one, yet the song plays on and pauses.
    queue.EntryRemoved(2);
    EXPECT_EQ(queue.PlayingSequence(), -1);
    EXPECT_TRUE(queue.HasEntry());
    EXPECT_EQ(queue.State(), psPlaying);
    EXPECT_EQ(queue.TogglePause(0), psPaused);
    // The entry that took its number is not taken for it.
    queue.EntryRemoved(1);
    EXPECT_EQ(queue.PlayingSequence(), -1);
}

} // namespace
