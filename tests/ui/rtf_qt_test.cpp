#include "tests/support/temp_root.h"
#include "ui/rtf/rtf_qt.h"

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <gtest/gtest.h>

namespace tlv::rtf {
namespace {

QTextCharFormat formatOf(const QTextDocument& doc, const QString& text) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text() == text)
                return it.fragment().charFormat();
    ADD_FAILURE() << "no fragment " << text.toStdString();
    return {};
}

TEST(RtfQt, BlocksAndCharacterFormatsFollowTheDocument) {
    QTextDocument out;
    fillTextDocument(
        parse(R"({\rtf1{\fonttbl{\f0 DejaVu Sans;}}{\colortbl;\red200\green40\blue40;})"
              R"(\qc\fs40\b Big\b0\par\pard\ql {\i it}\line {\cf1\ul red}\par})"),
        out);
    ASSERT_EQ(out.blockCount(), 2);
    EXPECT_EQ(out.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(out.begin().text(), "Big");
    EXPECT_EQ(out.begin().next().text(), QString("it") + QChar(QChar::LineSeparator) + "red");
    const QTextCharFormat big = formatOf(out, "Big");
    EXPECT_EQ(big.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(big.fontPointSize(), 20.0);
    EXPECT_EQ(big.font().families().value(0), "DejaVu Sans");
    EXPECT_TRUE(formatOf(out, "it").fontItalic());
    const QTextCharFormat red = formatOf(out, "red");
    EXPECT_TRUE(red.fontUnderline());
    EXPECT_EQ(red.foreground().color(), QColor(200, 40, 40));
}

TEST(RtfQt, UnreadableColoursGiveWayToTheSurfaceTextColour) {
    RenderOptions dark;
    dark.background = QColor(16, 20, 28);
    dark.defaultText = QColor(235, 238, 242);
    QTextDocument out;
    fillTextDocument(
        parse(
            R"({\rtf1{\colortbl;\red0\green0\blue0;\red255\green200\blue0;}\cf1 black \cf2 gold})"),
        out, dark);
    EXPECT_EQ(formatOf(out, "black ").foreground().color(), dark.defaultText);
    EXPECT_EQ(formatOf(out, "gold").foreground().color(), QColor(255, 200, 0));
    EXPECT_GT(contrastRatio(Qt::white, Qt::black), 20.0);
}

TEST(RtfQt, FilesLoadBoundedAndMissingFilesLeaveAnEmptyDocument) {
    test::TempRoot root;
    QTextDocument out;
    EXPECT_FALSE(loadTextDocument(QString::fromStdString(root.file("none.rtf")), out));
    EXPECT_TRUE(out.isEmpty());
    test::writeFile(root.file("m.rtf"), R"({\rtf1 Hello \'e9})");
    EXPECT_TRUE(loadTextDocument(QString::fromStdString(root.file("m.rtf")), out));
    EXPECT_EQ(out.toPlainText(), QString::fromUtf8("Hello \xC3\xA9"));
    test::writeFile(root.file("plain.txt"), "just text");
    EXPECT_TRUE(loadTextDocument(QString::fromStdString(root.file("plain.txt")), out));
    EXPECT_EQ(out.toPlainText(), "just text");
}

} // namespace
} // namespace tlv::rtf

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
