#include "controls/CompletingComboBox.h"
#include "controls/TypedCharacter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace
{

// The sort chooser of the selection dialog: completion on, no entry chosen.
std::unique_ptr<TCompletingComboBox> SortBox(bool baseCompletion, bool limitToList = false)
{
    auto combo = std::make_unique<TCompletingComboBox>();
    combo->addItems({"Album", "Artist", "Comment", "Genre", "Title", "Year"});
    combo->setCurrentIndex(-1);
    combo->SetTextCompletion(true);
    combo->SetLimitToList(limitToList);
    combo->SetBaseCompletion(baseCompletion);
    combo->show();
    combo->activateWindow();
    combo->setFocus();
    EXPECT_TRUE(QTest::qWaitForWindowActive(combo.get()));
    EXPECT_TRUE(combo->lineEdit()->hasFocus());
    return combo;
}

TEST(CompletingComboBox, StartsWithBothFlagsOffAndBaseCompletionOn)
{
    TCompletingComboBox combo;
    EXPECT_FALSE(combo.TextCompletion());
    EXPECT_FALSE(combo.LimitToList());
    EXPECT_TRUE(combo.BaseCompletion());
    EXPECT_TRUE(combo.isEditable());
    combo.SetLimitToList(true);
    EXPECT_TRUE(combo.LimitToList());
    combo.SetBaseCompletion(false);
    EXPECT_FALSE(combo.BaseCompletion());
    EXPECT_EQ(combo.lineEdit()->completer(), nullptr);
}

TEST(CompletingComboBox, CompletesTheRestSelectedWithoutBaseCompletion)
{
    for (bool limit : {false, true}) {
        SCOPED_TRACE(limit ? "LimitToList on" : "LimitToList off");
        auto combo = SortBox(false, limit);
        QLineEdit *edit = combo->lineEdit();

        QTest::keyClicks(edit, "ti");
        EXPECT_EQ(combo->currentText(), QStringLiteral("Title"));
        EXPECT_EQ(combo->currentIndex(), 4);
        EXPECT_EQ(edit->selectedText(), QStringLiteral("tle"));
        EXPECT_EQ(edit->selectionStart(), 2);

        edit->selectAll();
        QTest::keyClicks(edit, "YE");
        EXPECT_EQ(combo->currentText(), QStringLiteral("Year"));
        EXPECT_EQ(combo->currentIndex(), 5);
        EXPECT_EQ(edit->selectedText(), QStringLiteral("ar"));

        // The next typed letter replaces the completed rest.
        QTest::keyClicks(edit, "x");
        EXPECT_EQ(combo->currentText(), QStringLiteral("Yex"));
        EXPECT_FALSE(edit->hasSelectedText());
    }
}

TEST(CompletingComboBox, WithBaseCompletionTheCaretEndsAfterTheEntry)
{
    for (bool limit : {false, true}) {
        SCOPED_TRACE(limit ? "LimitToList on" : "LimitToList off");
        auto combo = SortBox(true, limit);
        QLineEdit *edit = combo->lineEdit();

        // At the release the base has already filled in the whole entry.
        QTest::keyClicks(edit, "t");
        EXPECT_EQ(combo->currentText(), QStringLiteral("Title"));
        EXPECT_EQ(combo->currentIndex(), 4);
        EXPECT_FALSE(edit->hasSelectedText());
        EXPECT_EQ(edit->cursorPosition(), 5);

        QTest::keyClicks(edit, "i");
        EXPECT_EQ(combo->currentText(), QStringLiteral("Titlei"));
        EXPECT_FALSE(edit->hasSelectedText());
        EXPECT_EQ(edit->cursorPosition(), 6);
    }
}

TEST(CompletingComboBox, TextBeginningNoEntryStaysAsTyped)
{
    for (bool base : {false, true}) {
        SCOPED_TRACE(base ? "base completion on" : "base completion off");
        auto combo = SortBox(base);
        QTest::keyClicks(combo->lineEdit(), "x");
        EXPECT_EQ(combo->currentText(), QStringLiteral("x"));
        EXPECT_EQ(combo->currentIndex(), -1);
        EXPECT_FALSE(combo->lineEdit()->hasSelectedText());
        EXPECT_EQ(combo->count(), 6);

        // Enter adds no entry of its own.
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(combo->count(), 6);
    }
}

TEST(CompletingComboBox, FirstEntryFromTheTopInItsOwnCapitalisation)
{
    TCompletingComboBox combo;
    combo.addItems({"Zed", "BETA", "Bet", "beta two"});
    combo.setCurrentIndex(-1);
    combo.SetTextCompletion(true);
    combo.SetBaseCompletion(false);
    QTest::keyClicks(combo.lineEdit(), "bet");
    EXPECT_EQ(combo.currentText(), QStringLiteral("BETA"));
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_EQ(combo.lineEdit()->selectedText(), QStringLiteral("A"));
}

TEST(CompletingComboBox, CompletesOverTheEntryThatIsAlreadyCurrent)
{
    auto combo = SortBox(false);
    combo->setCurrentIndex(4);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "t");
    EXPECT_EQ(combo->currentText(), QStringLiteral("Title"));
    EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("itle"));
}

TEST(CompletingComboBox, SkippedKeysNeverCompleteOthersDo)
{
    auto combo = SortBox(false);
    QLineEdit *edit = combo->lineEdit();

    QTest::keyClicks(edit, "ti");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Ti"));
    EXPECT_FALSE(edit->hasSelectedText());

    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_Shift);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Ti"));

    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Title"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("tle"));

    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Ti"));
    QTest::keyClick(edit, Qt::Key_Control);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Title"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("tle"));

    // Only the release counts, with the text as it is then.
    combo->setEditText("ye");
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Shift}) {
        QTest::keyRelease(edit, key);
        EXPECT_EQ(combo->currentText(), QStringLiteral("ye"));
    }
    QTest::keyRelease(edit, Qt::Key_Left);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Year"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("ar"));
}

TEST(CompletingComboBox, EmptyTextMatchesTheFirstEntry)
{
    auto combo = SortBox(false);
    combo->setEditText(QString());
    QTest::keyRelease(combo->lineEdit(), Qt::Key_Right);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Album"));
    EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("Album"));
}

TEST(CompletingComboBox, WithoutTextCompletionOnlyTheBaseCompletes)
{
    auto combo = SortBox(false);
    combo->SetTextCompletion(false);
    QTest::keyClicks(combo->lineEdit(), "ti");
    EXPECT_EQ(combo->currentText(), QStringLiteral("ti"));
    EXPECT_EQ(combo->currentIndex(), -1);

    auto based = SortBox(true);
    based->SetTextCompletion(false);
    QTest::keyClicks(based->lineEdit(), "ti");
    EXPECT_EQ(based->currentText().compare(QStringLiteral("Title"), Qt::CaseInsensitive), 0);
    EXPECT_EQ(based->lineEdit()->selectedText().compare(QStringLiteral("tle"), Qt::CaseInsensitive),
              0);
    EXPECT_EQ(based->lineEdit()->selectionStart(), 2);
}

TEST(CompletingComboBox, KeysReachingTheComboBoxItselfComplete)
{
    auto combo = SortBox(false);
    QTest::keyClicks(combo.get(), "ye");
    EXPECT_EQ(combo->currentText(), QStringLiteral("Year"));
    EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("ar"));
}

TEST(CompletingComboBox, KeyPressHookRefusesTypedCharacters)
{
    TCompletingComboBox combo;
    combo.addItems({"[1] - One", "[2] - Two"});
    int seen = 0;
    combo.OnKeyPress = [&seen](QKeyEvent *event) {
        ++seen;
        return IsTypedCharacter(*event);
    };
    combo.show();
    combo.setFocus();
    ASSERT_EQ(combo.currentText(), QStringLiteral("[1] - One"));

    QTest::keyClicks(combo.lineEdit(), "ab 1");
    QTest::keyClicks(&combo, "xy");
    EXPECT_EQ(combo.currentText(), QStringLiteral("[1] - One"));
    EXPECT_EQ(seen, 6);

    // Editing keys still pass.
    combo.lineEdit()->end(false);
    QTest::keyClick(combo.lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(combo.currentText(), QStringLiteral("[1] - On"));

    combo.OnKeyPress = nullptr;
    QTest::keyClicks(combo.lineEdit(), "e");
    EXPECT_EQ(combo.currentText(), QStringLiteral("[1] - One"));
}

} // namespace
