#include "controls/YearEdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace
{

void PasteFromContextMenu(TYearEdit &edit, const QString &clipboardText)
{
    QApplication::clipboard()->setText(clipboardText);
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    for (QAction *action : menu->actions()) {
        if (action->text().startsWith(QLatin1String("&Paste"))) {
            ASSERT_TRUE(action->isEnabled());
            action->trigger();
            return;
        }
    }
    FAIL() << "no paste in the context menu";
}

void Drop(TYearEdit &edit, const QString &text)
{
    QMimeData mime;
    mime.setText(text);
    const QPoint at(edit.width() - 2, edit.height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&edit, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&edit, &move);
    ASSERT_TRUE(move.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&edit, &drop);
    EXPECT_TRUE(drop.isAccepted());
}

TEST(YearEdit, TypedKeysOtherThanDigitsAreDiscarded)
{
    TYearEdit edit;
    edit.show();
    EXPECT_EQ(edit.maxLength(), 4);

    QTest::keyClicks(&edit, "1a9 -;'9b0");
    EXPECT_EQ(edit.text(), QStringLiteral("1990"));

    QTest::keyClicks(&edit, "5");
    EXPECT_EQ(edit.text(), QStringLiteral("1990"));

    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("1990"));

    // Delete and overtyping a selection still edit.
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), QStringLiteral("990"));
    edit.selectAll();
    QTest::keyClicks(&edit, "2");
    EXPECT_EQ(edit.text(), QStringLiteral("2"));
}

TEST(YearEdit, ClipboardKeysAreDiscarded)
{
    TYearEdit edit;
    edit.show();
    edit.setText("1990");
    QApplication::clipboard()->setText("2001");

    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("1990"));

    edit.clear();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QString());

    edit.setText("1984");
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("2001"));
}

TEST(YearEdit, OnlyDigitsRemainWhateverWayTextArrives)
{
    TYearEdit edit;
    edit.show();

    // The box's room is taken first ("19a9"), then the non-digits dropped.
    PasteFromContextMenu(edit, "19a9x");
    EXPECT_EQ(edit.text(), QStringLiteral("199"));
    edit.clear();
    PasteFromContextMenu(edit, "1990; DROP TABLE Playlist_DB");
    EXPECT_EQ(edit.text(), QStringLiteral("1990"));
    edit.clear();
    PasteFromContextMenu(edit, "' OR '1'='1");
    EXPECT_EQ(edit.text(), QString());

    edit.setText("19");
    edit.end(false);
    PasteFromContextMenu(edit, "x5");
    EXPECT_EQ(edit.text(), QStringLiteral("195"));
    EXPECT_EQ(edit.cursorPosition(), 3);

    edit.clear();
    Drop(edit, "2a0b0c1");
    EXPECT_EQ(edit.text(), QStringLiteral("20"));

    edit.setText("19a9x");
    EXPECT_EQ(edit.text(), QStringLiteral("199"));
    edit.setText("--");
    EXPECT_EQ(edit.text(), QString());
    edit.setText(QString::fromUtf8("١٩٩٠"));
    EXPECT_EQ(edit.text(), QString());

    edit.clear();
    edit.insert("1;9");
    EXPECT_EQ(edit.text(), QStringLiteral("19"));
}

} // namespace
