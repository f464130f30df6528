#include "app/MainFrm.h"

#include "app/Dialogs.h"
#include "app/Texts.h"

#include "http/NetHTTP.h"
#include "unzip/UnZipper.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>

namespace {

const QColor kTeal(0x02, 0xB4, 0xA8);
const QColor kDarkGrey(0x33, 0x33, 0x33);
const QColor kMidGrey(0x66, 0x66, 0x66);
const QColor kRed(0xDD, 0x4B, 0x39);

QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }

// The window's face in the given character height (pixels).
QFont YaHei(int pixels, bool bold = false) {
    // Where the face itself is missing, the installed CJK face stands in for
    // it, Latin letters included.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QString::fromStdU16String(texts::SFontFace),
                                   {QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei")});
        return true;
    }();
    (void)substituted;
    QFont font(QString::fromStdU16String(texts::SFontFace));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void SetBackground(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetFontColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, int left, int top, const QFont& font, const std::u16string& text = {}) {
    auto* label = new QLabel(Q(text), parent);
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QImage LoadArt(const char* name) {
    return QImage(QStringLiteral(":/zelvano/") + QLatin1String(name)).convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

static void InitArtwork() { Q_INIT_RESOURCE(artwork); }

TMainForm::TMainForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    InitArtwork();
    BuildComponents();
    FormCreate(this);
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildComponents() {
    setObjectName("MainForm");
    setWindowTitle(Q(texts::SWindowTitle));
    QFont tahoma(QString::fromStdU16String(texts::SDefaultFontFace));
    tahoma.setPixelSize(11);
    setFont(tahoma);
    setFixedSize(600, 400);
    LoadImageLists();

    pl_Title = new QWidget(this);
    pl_Title->setObjectName("pl_Title");
    pl_Title->setGeometry(0, 0, 600, 40);

    Image1 = new QLabel(pl_Title);
    Image1->setObjectName("Image1");
    Image1->setPixmap(QPixmap::fromImage(LoadArt("icon.png")));
    Image1->setScaledContents(true);
    Image1->setGeometry(30, 5, 30, 30);

    Lbl_ApplicationName = MakeLabel(pl_Title, 67, 8, YaHei(17));
    Lbl_ApplicationName->setObjectName("Lbl_ApplicationName");
    Lbl_ApplicationName->setFixedHeight(23);
    SetFontColor(Lbl_ApplicationName, Qt::white);

    pl_Center = new QWidget(this);
    pl_Center->setObjectName("pl_Center");
    SetBackground(pl_Center, Qt::white);
    pl_Center->setGeometry(2, 40, 596, 358);

    Image2 = new QLabel(pl_Center);
    Image2->setObjectName("Image2");
    Image2->setPixmap(QPixmap::fromImage(LoadArt("logo.png")));
    Image2->setScaledContents(true);
    Image2->setGeometry(165, 30, 230, 60);

    Lb_InstallPostion = MakeLabel(pl_Center, 31, 126, YaHei(16, true), texts::SInstallPosition);
    Lb_InstallPostion->setObjectName("Lb_InstallPostion");

    Edt_InstallDir = new QLineEdit(pl_Center);
    Edt_InstallDir->setObjectName("Edt_InstallDir");
    Edt_InstallDir->setFont(YaHei(16));
    Edt_InstallDir->setGeometry(117, 123, 358, 29);
    Edt_InstallDir->setReadOnly(true);
    Edt_InstallDir->setEnabled(false);

    Lb_DownHit = MakeLabel(pl_Center, 30, 167, YaHei(14), texts::SDownHint);
    Lb_DownHit->setObjectName("Lb_DownHit");
    lb_Hint = MakeLabel(pl_Center, 114, 167, YaHei(14));
    lb_Hint->setObjectName("lb_Hint");

    Lb_ProcessPostion = MakeLabel(pl_Center, 278, 209, YaHei(16), texts::SPercentZero);
    Lb_ProcessPostion->setObjectName("Lb_ProcessPostion");
    Lb_ProcessPostion->hide();

    G_Process = new TProgressGauge(pl_Center);
    G_Process->setObjectName("G_Process");
    G_Process->setGeometry(35, 239, 525, 15);
    G_Process->SetBorderStyle(controls::bsNone);
    G_Process->SetBackColor(13421772);
    G_Process->SetForeColor(11056130);
    G_Process->SetMaxValue(100);
    G_Process->SetProgress(40);
    G_Process->SetShowText(false);
    G_Process->SetSuffix(u"%");
    G_Process->setFont(YaHei(16));

    PG = new QTabWidget(pl_Center);
    PG->setObjectName("PG");
    PG->setGeometry(0, 0, 36, 33);
    PG->tabBar()->hide();
    tb_AutoUpdate = new QWidget;
    tb_AutoUpdate->setObjectName("tb_AutoUpdate");
    M_Log = new QPlainTextEdit(tb_AutoUpdate);
    M_Log->setObjectName("M_Log");
    M_Log->setReadOnly(true);
    M_Log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    tb_Download = new QWidget;
    tb_Download->setObjectName("tb_Download");
    PG->addTab(tb_AutoUpdate, QString());
    PG->addTab(tb_Download, QString());
    BuildDownloadPage();
    PG->hide();

    UnZipper = std::make_unique<unzip::TUnZipper>();
    UnZipper->OnStartUnZip = [this](unzip::TUnZipper* Sender, int FileIndex, std::u16string& FName, bool& Skip) {
        UnZipperStartUnZip(Sender, FileIndex, FName, Skip);
    };
    UnZipper->OnEndUnZip = [this](unzip::TUnZipper* Sender, int FileIndex, const std::u16string& FName) {
        UnZipperEndUnZip(Sender, FileIndex, FName);
    };
    // The tally of the running extraction (InstallUpdate reads it).
    UnZipper->OnStartUnZipInfo = [this](unzip::TUnZipper*, int NumFiles, int64_t, bool&) {
        FExtraction.Chosen = NumFiles;
    };
    UnZipper->OnSkippingFile = [this](unzip::TUnZipper*, unzip::TSkipReason, const std::u16string&, int, bool&) {
        ++FExtraction.Failed;
    };
    UnZipper->OnBadCRC = [this](unzip::TUnZipper*, uint32_t, uint32_t, int) { ++FExtraction.Failed; };
    NetHTTP = std::make_unique<http::TNetHTTP>();

    // The window is dragged by its title bar, icon, title text and logo.
    for (QWidget* handle : {pl_Title, static_cast<QWidget*>(Image1), static_cast<QWidget*>(Lbl_ApplicationName),
                            static_cast<QWidget*>(Image2)}) {
        handle->installEventFilter(this);
    }
}

void TMainForm::BuildDownloadPage() {
    Lb_Heading = MakeLabel(tb_Download, 15, 7, YaHei(21), texts::SDownloadHeading);
    pl_Separator = new QFrame(tb_Download);
    pl_Separator->setFrameShape(QFrame::HLine);
    pl_Separator->setGeometry(16, 36, 446, 3);
    CheckB_DeskTop = new QCheckBox(Q(texts::SCreateDesktopShortcut), tb_Download);
    CheckB_DeskTop->setFont(YaHei(13));
    CheckB_DeskTop->move(24, 64);
    CheckB_DeskTop->setChecked(true);
    CheckB_InstallAndRun = new QCheckBox(Q(texts::SRunAfterInstall), tb_Download);
    CheckB_InstallAndRun->setFont(YaHei(13));
    CheckB_InstallAndRun->move(24, 104);
    CheckB_InstallAndRun->setChecked(true);
    Lb_FolderCaption = MakeLabel(tb_Download, 15, 165, YaHei(13), texts::SFolderCaption);
    Edt_FileName = new QLineEdit(tb_Download);
    Edt_FileName->setFont(YaHei(13));
    Edt_FileName->setGeometry(86, 162, 336, 27);
    Edt_FileName->setReadOnly(true);
    Btn_Dir = new QPushButton(Q(texts::SBrowse), tb_Download);
    Btn_Dir->setGeometry(429, 163, 39, 26);
    connect(Btn_Dir, &QPushButton::clicked, this, [this] { Btn_DirClick(Btn_Dir); });
    Lb_PromptCaption = MakeLabel(tb_Download, 16, 228, YaHei(13), texts::SPromptCaption);
    lb_Hint1 = MakeLabel(tb_Download, 61, 227, YaHei(13), texts::SHint1Start);
    G_DownLoad = new TProgressGauge(tb_Download);
    G_DownLoad->setGeometry(15, 259, 455, 25);
    G_DownLoad->SetForeColor(controls::clBlack);
    G_DownLoad->SetMaxValue(100);
    G_DownLoad->SetSuffix(u"%");
    Btn_DownLoadAndRun = new QPushButton(Q(texts::SDownLoadAndInstall), tb_Download);
    Btn_DownLoadAndRun->setGeometry(304, 317, 84, 25);
    connect(Btn_DownLoadAndRun, &QPushButton::clicked, this, [this] { Btn_DownLoadAndRunClick(Btn_DownLoadAndRun); });
    Btn_Close1 = new QPushButton(Q(texts::SClose), tb_Download);
    Btn_Close1->setGeometry(394, 317, 75, 25);
    connect(Btn_Close1, &QPushButton::clicked, this, [this] { Btn_Close1Click(Btn_Close1); });
}

void TMainForm::LoadImageLists() {
    ImageList = {LoadArt("close_hot.png"), LoadArt("close.png"), LoadArt("min_hot.png"), LoadArt("min.png")};
    ImageList1 = {LoadArt("install.png"), LoadArt("install_hot.png")};
    ImageList2 = {LoadArt("change.png"), LoadArt("change_hot.png")};
}

void TMainForm::FormCreate(QObject*) {
    SetLabelText(Lbl_ApplicationName, texts::SApplicationName);
    SetBackground(pl_Title, kTeal);
    SetBackground(this, kTeal);
    SetFontColor(Lb_DownHit, kMidGrey);
    SetFontColor(lb_Hint, kMidGrey);
    SetFontColor(Lb_InstallPostion, kDarkGrey);
    SetFontColor(Lb_ProcessPostion, kDarkGrey);
    CreateImageButtons();
    Edt_FileName->setText(Q(texts::SFileNameDefault));
    SetFontColor(G_Process, kDarkGrey);
    G_Process->SetProgress(0);
    SetLabelText(lb_Hint, texts::SHintReady);
    ProcessMessages();
    Edt_InstallDir->setText(qEnvironmentVariable("PROGRAMFILES"));
}

void TMainForm::CreateImageButtons() {
    struct ButtonRow {
        TImageButton*& field;
        const char16_t* hint;
        QImage normal, hot;
        void (TMainForm::*click)(QObject*);
        const char* name;
    };
    ButtonRow rows[] = {
        {FBtn_Min, texts::SHintMin, ImageList[3], ImageList[2], &TMainForm::Btn_MinClick, "FBtn_Min"},
        {FBtn_Close1, texts::SHintClose, ImageList[1], ImageList[0], &TMainForm::Btn_CloseClick, "FBtn_Close1"},
        {FBtn_Install, texts::SHintInstall, ImageList1[0], ImageList1[1], &TMainForm::Btn_InstallClick,
         "FBtn_Install"},
        {FBtn_ChangeDir, texts::SHintChange, ImageList2[0], ImageList2[1], &TMainForm::Btn_SelectDirClick,
         "FBtn_ChangeDir"},
    };
    for (ButtonRow& row : rows) {
        // The install and change buttons go onto the centre panel at once;
        // the title-bar buttons are put there last.
        const bool onCenter = &row.field == &FBtn_Install || &row.field == &FBtn_ChangeDir;
        auto* button = new TImageButton(onCenter ? pl_Center : nullptr);
        button->setObjectName(row.name);
        button->SetHint(row.hint);
        button->SetShowHint(true);
        if (&row.field == &FBtn_Install) button->setGeometry(234, 282, 117, 44);
        else if (&row.field == &FBtn_ChangeDir) button->setGeometry(494, 123, 74, 28);
        else button->resize(28, 40);
        button->SetButtonStyle(controls::pbsFlat);
        button->DrawFaceOnMouseOver = controls::clGreen;
        button->DrawFaceOnPush = controls::clYellow;
        button->IsDrawFaceOnMouseOver = false;
        button->IsDrawBorderOnMouseOver = false;
        button->IsDrawBorderOnPush = false;
        button->IsDrawFaceOnPush = false;
        button->SetIsShowCaption(false);
        button->ImageNormalObject() = row.normal;
        button->ImageDownObject() = row.hot;
        button->ImageOverObject() = row.hot;
        button->OnClick = [this, click = row.click](QObject* Sender) { (this->*click)(Sender); };
        row.field = button;
    }
    FBtn_Close1->setParent(pl_Title);
    FBtn_Min->setParent(pl_Title);
    AlignTitleButtons();
    FBtn_Close1->show();
    FBtn_Min->show();
}

// The close button aligned right with a right margin of 30, the minimise
// button to its left with a right margin of 10; both as high as the title.
void TMainForm::AlignTitleButtons() {
    if (!FBtn_Close1 || !FBtn_Min) return;
    const int right = pl_Title->width() - 30;
    FBtn_Close1->setGeometry(right - 28, 0, 28, pl_Title->height());
    FBtn_Min->setGeometry(FBtn_Close1->x() - 10 - 28, 0, 28, pl_Title->height());
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pl_Title->setGeometry(0, 0, width(), 40);
    pl_Center->setGeometry(2, 40, width() - 4, height() - 40 - 2);
    AlignTitleButtons();
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
    }
    FormShow(this);
}

void TMainForm::FormShow(QObject*) { PG->setCurrentWidget(tb_Download); }

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = mouse->position().toPoint();
            Lbl_ApplicationNameMouseDown(watched, mouse->button(), mouse->modifiers(), at.x(), at.y());
            break;
        }
        case QEvent::MouseMove:
            if (dragging_) {
                move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (dragging_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                dragging_ = false;
                return true;
            }
            break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::Lbl_ApplicationNameMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers,
                                             int X, int Y) {
    if (Button != Qt::LeftButton) return;
    auto* handle = qobject_cast<QWidget*>(Sender);
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    // The system's move of the window with the mouse; where the platform has
    // none, the window follows the pointer until the button is released.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    const QPoint global = handle ? handle->mapToGlobal(QPoint(X, Y)) : QPoint(X, Y);
    dragOffset_ = global - pos();
    dragging_ = true;
}

void TMainForm::Btn_MinClick(QObject*) {
    QMetaObject::invokeMethod(this, &QWidget::showMinimized, Qt::QueuedConnection);
}

void TMainForm::Btn_SelectDirClick(QObject*) {
    std::u16string directory;
    if (dialogs::BrowseForFolder(this, texts::SSelectInstallFolder, {}, directory) && !directory.empty()) {
        Edt_InstallDir->setText(Q(directory));
    }
}

void TMainForm::Btn_DirClick(QObject*) {
    std::u16string directory;
    if (dialogs::BrowseForFolder(this, texts::SSelectFolder, Edt_FileName->text().toStdU16String(), directory)) {
        Edt_FileName->setText(Q(directory));
    }
}

void TMainForm::SetLabelText(QLabel* Label, const std::u16string& Text) {
    Label->setText(Q(Text));
    Label->adjustSize();
}

void TMainForm::SetWindowState(TWindowState State) {
    struct Row {
        const char16_t* hint;
        QColor color;
        bool install, change;
        enum { Hidden, Shown, Reset } percent;
    };
    auto row = [State]() -> Row {
        switch (State) {
            case TWindowState::Ready: return {texts::SHintReady, kMidGrey, true, true, Row::Hidden};
            case TWindowState::AskingServer: return {texts::SHintAskingServer, kMidGrey, false, false, Row::Hidden};
            case TWindowState::Downloading: return {texts::SHintDownloading, kMidGrey, false, false, Row::Shown};
            case TWindowState::Installing: return {texts::SHintInstalling, kMidGrey, false, false, Row::Shown};
            case TWindowState::InstallFailed: return {texts::SHintInstallFailed, kMidGrey, true, false, Row::Shown};
            case TWindowState::SignatureRefused:
                return {texts::SHintSignatureRefused, kMidGrey, true, false, Row::Shown};
            case TWindowState::FolderUnusable:
                return {texts::SHintInstallFailed, kMidGrey, true, true, Row::Hidden};
            case TWindowState::StartingClient:
                return {texts::SHintStartingClient, kMidGrey, false, false, Row::Shown};
            case TWindowState::NetworkFailure: return {texts::SHintNetworkFailure, kRed, true, true, Row::Reset};
            case TWindowState::NoInstallFolder: return {texts::SHintNoInstallFolder, kRed, true, true, Row::Hidden};
        }
        return {texts::SHintReady, kMidGrey, true, true, Row::Hidden};
    }();
    RunOnWindowThread([this, row] {
        SetLabelText(lb_Hint, row.hint);
        SetFontColor(lb_Hint, row.color);
        FBtn_Install->setEnabled(row.install);
        FBtn_ChangeDir->setEnabled(row.change);
        if (row.percent == Row::Reset) SetLabelText(Lb_ProcessPostion, texts::SPercentZero);
        Lb_ProcessPostion->setVisible(row.percent == Row::Shown);
    });
}

void TMainForm::SetHint(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { SetLabelText(lb_Hint, Text); });
}

void TMainForm::SetHintColor(const QColor& Color) {
    RunOnWindowThread([this, Color] { SetFontColor(lb_Hint, Color); });
}

void TMainForm::SetPercentText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { SetLabelText(Lb_ProcessPostion, Text); });
}

void TMainForm::SetPercentVisible(bool Visible) {
    RunOnWindowThread([this, Visible] { Lb_ProcessPostion->setVisible(Visible); });
}

void TMainForm::SetInstallEnabled(bool Enabled) {
    RunOnWindowThread([this, Enabled] { FBtn_Install->setEnabled(Enabled); });
}

void TMainForm::SetChangeDirEnabled(bool Enabled) {
    RunOnWindowThread([this, Enabled] { FBtn_ChangeDir->setEnabled(Enabled); });
}

void TMainForm::AddLogLine(const std::u16string& Line) {
    RunOnWindowThread([this, Line] { M_Log->appendPlainText(Q(Line)); });
}

void TMainForm::SetHint1(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { SetLabelText(lb_Hint1, Text); });
}

void TMainForm::EndMessageLoop() {
    // Queued, so that changes asked for before it are still applied.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TMainForm::ProcessMessages() {
    if (QThread::currentThread() == thread()) QCoreApplication::processEvents();
}

std::u16string TMainForm::InstallDirText() {
    return CallOnWindowThread([this] { return Edt_InstallDir->text().toStdU16String(); });
}
