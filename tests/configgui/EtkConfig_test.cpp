#include "TestSupport.h"
#include "config/EtkConfigExe.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QImageWriter>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <algorithm>
#include <limits>

namespace {

class TEtkConfigIconTest : public ::testing::Test {
protected:
    void Open(const QByteArray& Viewer) {
        WriteBytes(FBlk, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\">\r\n<VIEWER>" + Viewer +
                             "\r\n</VIEWER>\r\n</BRENLOW>");
        ASSERT_TRUE(FConfig.SetMainConfigFile(FBlk, true));
        ASSERT_TRUE(FConfig.InitUserConfigFile(true));
    }
    void TearDown() override { QApplication::setWindowIcon(QIcon()); }

    TTempEnvironment FEnvironment;
    QString FBlk = FEnvironment.FilePath("cat/Etk.blk");
    TEtkConfigExe FConfig;
};

}  // namespace

TEST_F(TEtkConfigIconTest, IconOfTheProjectFileGoesToTheApplicationAndItsWindowsButNotDialogs) {
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(QDir().mkpath(FEnvironment.FilePath("cat/logos")));
    ASSERT_TRUE(QImageWriter(FEnvironment.FilePath("cat/logos/app.ico"), "ico").write(picture));
    Open("\r\n<Icon>slogos\\app.ico</Icon>");
    QWidget window;
    window.show();
    QDialog dialog;
    const QIcon dialogIcon(QPixmap::fromImage(picture.scaled(16, 16)));
    dialog.setWindowIcon(dialogIcon);
    dialog.show();

    ASSERT_TRUE(FConfig.ApplyIcon());
    const QImage applied = QApplication::windowIcon().pixmap(32, 32).toImage();
    EXPECT_EQ(applied.pixelColor(16, 16), QColor(Qt::red));
    EXPECT_EQ(window.windowHandle()->icon().pixmap(32, 32).toImage().pixelColor(16, 16), QColor(Qt::red));
    EXPECT_EQ(dialog.windowIcon().cacheKey(), dialogIcon.cacheKey());
}

TEST_F(TEtkConfigIconTest, MissingOrUnreadableIconIsRefused) {
    WriteBytes(FEnvironment.FilePath("cat/broken.ico"), "no icon at all");
    struct Row { const char* Name; QByteArray Viewer; };
    const Row rows[] = {
        {"missing file", "\r\n<Icon>snone.ico</Icon>"},
        {"not an icon", "\r\n<Icon>sbroken.ico</Icon>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Open(row.Viewer);
        EXPECT_FALSE(FConfig.ApplyIcon());
        EXPECT_TRUE(QApplication::windowIcon().isNull());
    }
}

// The codes and the own names of the language choice line up in the application's font: each line's
// text up to the own name ends within one blank of every other.
TEST(TEtkConfigLanguageDisplay, OwnNamesLineUpInTheApplicationFont) {
    const QFontMetrics metrics(QApplication::font());
    const int maxLen = TEtkConfig::GetMaxLenForLangKurz();
    int narrowest = std::numeric_limits<int>::max();
    int widest = 0;
    for (const QString& code : TEtkConfig::GetAllSprachKrz()) {
        const QString text = TEtkConfig::GetLangTextBySprachKrz(code, true);
        const QString ownName = QLatin1Char('(') + TEtkConfig::GetLangTextBySprachKrz(code, false) + QLatin1Char(')');
        ASSERT_TRUE(text.endsWith(ownName)) << text.toStdString();
        const QString lead = TEtkConfig::FormatLangKurzForDisplay(code, maxLen) + text.chopped(ownName.size());
        const int width = metrics.horizontalAdvance(lead);
        narrowest = std::min(narrowest, width);
        widest = std::max(widest, width);
    }
    // One blank, and a pixel each way for the rounding of measuring the text in parts.
    EXPECT_LE(widest - narrowest, metrics.horizontalAdvance(QLatin1Char(' ')) + 2);
    EXPECT_EQ(TEtkConfig::GetLangTextBySprachKrz(QStringLiteral("FR"), false), QStringLiteral("Français"));
}
