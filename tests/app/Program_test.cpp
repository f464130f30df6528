// The program as a whole: its entry shows the painted window (also at twice
// the scale), and /skinver (in any letter case) shows the version text at start.
#include "app/Texts.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

// Runs a copy of the program under a name of its own (it ends every process
// with its own file name), with every folder it may touch inside Dir.
struct ProgramRun {
    int exitCode = -1;
    QString standardError;
};

ProgramRun RunProgram(const QTemporaryDir& dir, const QStringList& arguments, const QString& grabPath,
                      const QStringList& extraEnvironment = {}) {
    const QString copy = dir.filePath("zelvano-setup-" + QUuid::createUuid().toString(QUuid::Id128));
    EXPECT_TRUE(QFile::copy(ZELVANO_SETUP_EXE, copy));
    QFile::setPermissions(copy, QFile::permissions(ZELVANO_SETUP_EXE));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PROGRAMFILES", dir.filePath("programs"));
    env.insert("ZELVANO_REGISTRY_DIR", dir.filePath("registry"));
    env.insert("ZELVANO_DESKTOP_DIR", dir.filePath("desktop"));
    env.insert("ZELVANO_UPDATE_SERVER", "http://127.0.0.1:1");
    env.insert("ZELVANO_TEST_UPDATE_SERVER", "http://127.0.0.1:1");
    env.insert("ZELVANO_GRAB_WINDOW", grabPath);
    for (const QString& variable : extraEnvironment) env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(copy, arguments);
    ProgramRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the program did not end";
        return run;
    }
    run.exitCode = process.exitCode();
    run.standardError = QString::fromUtf8(process.readAllStandardError());
    return run;
}

}  // namespace

TEST(Program, ShowsThePaintedWindow) {
    QTemporaryDir dir;
    const QString shot = dir.filePath("window.png");
    const ProgramRun run = RunProgram(dir, {}, shot);
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    const QImage image(shot);
    ASSERT_EQ(image.size(), QSize(600, 400));
    EXPECT_EQ(image.pixelColor(0, 200), QColor(0x02, 0xB4, 0xA8));
    EXPECT_EQ(image.pixelColor(300, 397), QColor(Qt::white));
    EXPECT_FALSE(run.standardError.contains(QString::fromStdU16String(texts::SSkinVersion)));
}

TEST(Program, SkinVersionInAnyLetterCase) {
    QTemporaryDir dir;
    // Unattended, so that the message box goes to standard error.
    const ProgramRun run = RunProgram(dir, {"/SkinVer", "/silent"}, dir.filePath("window.png"));
    EXPECT_TRUE(run.standardError.contains(QString::fromStdU16String(texts::SSkinVersion)))
        << run.standardError.toStdString();
}

static void InitArtwork() { Q_INIT_RESOURCE(artwork); }

TEST(Program, TwiceTheScaleShowsTheSameWindowWithSharpArtwork) {
    InitArtwork();
    QTemporaryDir dir;
    const QString shot = dir.filePath("window.png");
    const ProgramRun run = RunProgram(dir, {}, shot, {"QT_SCALE_FACTOR=2"});
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    const QImage image = QImage(shot).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(1200, 800));
    EXPECT_EQ(image.pixelColor(1, 400), QColor(0x02, 0xB4, 0xA8));  // the frame, two pixels wide now
    EXPECT_EQ(image.pixelColor(3, 400), QColor(0x02, 0xB4, 0xA8));
    EXPECT_EQ(image.pixelColor(4, 400), QColor(Qt::white));
    // The Install button (234, 282 on the panel at 2, 40) shows the artwork
    // drawn for 200 % pixel for pixel, not the 100 % picture enlarged.
    const QImage art = QImage(":/zelvano/install@2x.png").convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(art.size(), QSize(234, 88));
    long difference = 0;
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x) {
            const QColor a = art.pixelColor(x, y), shown = image.pixelColor(472 + x, 644 + y);
            const double alpha = a.alphaF();
            difference += std::abs(qRound(a.red() * alpha + 255 * (1 - alpha)) - shown.red()) +
                          std::abs(qRound(a.green() * alpha + 255 * (1 - alpha)) - shown.green()) +
                          std::abs(qRound(a.blue() * alpha + 255 * (1 - alpha)) - shown.blue());
        }
    EXPECT_LT(double(difference) / (art.width() * art.height() * 3), 2.0);
}
