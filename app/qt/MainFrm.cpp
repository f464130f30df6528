#include "app/qt/MainFrm.h"

#include "app/Dialogs.h"
#include "app/DownLoadLink.h"
#include "app/Texts.h"


#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
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

const QColor kTeal = controls::ColorToQColor(app::kTeal);
const QColor kDarkGrey = controls::ColorToQColor(app::kDarkGrey);
const QColor kMidGrey = controls::ColorToQColor(app::kMidGrey);

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

// The artwork; on a screen of more than one device pixel per pixel, its
// copy drawn at twice the size, which Qt shows at the same size, sharp.
QImage LoadArt(const char* name) {
    QString path = QStringLiteral(":/zelvano/") + QLatin1String(name);
    const bool doubled = qApp && qApp->devicePixelRatio() > 1.0;
    if (doubled) path.replace(QLatin1String(".png"), QLatin1String("@2x.png"));
    QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    if (doubled) image.setDevicePixelRatio(2.0);
    return image;
}

}  // namespace

static void InitArtwork() { Q_INIT_RESOURCE(artwork); }

TMainForm::TMainForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), TInstaller(static_cast<IInstallerWindow&>(*this)) {
    InitArtwork();
    // Once the message loop ends, the downloaders no longer reach the window.
    static const bool watching = [] {
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &CutWindowLink);
        return true;
    }();
    (void)watching;
    BuildComponents();
    FormCreate(this);
    // The window itself holds the focus when it opens, so that it looks as
    // it always did; the first Tab enters the folder box.
    setFocus(Qt::OtherFocusReason);
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
    // Read-only, not disabled, so that it takes the keyboard focus (Enter
    // there presses Install); it keeps the look of a disabled box.
    Edt_InstallDir->setReadOnly(true);
    {
        QPalette palette = Edt_InstallDir->palette();
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::Base, QPalette::Window, QPalette::Button}) {
            const QColor disabled = palette.color(QPalette::Disabled, role);
            palette.setColor(QPalette::Active, role, disabled);
            palette.setColor(QPalette::Inactive, role, disabled);
        }
        Edt_InstallDir->setPalette(palette);
    }
    Edt_InstallDir->setAccessibleName(Q(texts::SInstallFolderName));
    Edt_InstallDir->installEventFilter(this);

    Lb_DownHit = MakeLabel(pl_Center, 30, 167, YaHei(14), texts::SDownHint);
    Lb_DownHit->setObjectName("Lb_DownHit");
    lb_Hint = MakeLabel(pl_Center, 114, 167, YaHei(14));
    lb_Hint->setObjectName("lb_Hint");
    lb_Hint->setAccessibleDescription(Q(texts::SHintLineName));

    Lb_ProcessPostion = MakeLabel(pl_Center, 278, 209, YaHei(16), texts::SPercentZero);
    Lb_ProcessPostion->setObjectName("Lb_ProcessPostion");
    Lb_ProcessPostion->hide();

    G_Process = new TProgressGauge(pl_Center);
    G_Process->setObjectName("G_Process");
    G_Process->setAccessibleName(Q(texts::SInstallProgressName));
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

    installGauge_ = std::make_unique<TGaugeAdapter<TProgressGauge>>(*G_Process);
    downloadGauge_ = std::make_unique<TGaugeAdapter<TProgressGauge>>(*G_DownLoad);

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
        std::function<void(QObject*)> click;
        const char* name;
    };
    ButtonRow rows[] = {
        {FBtn_Min, texts::SHintMin, ImageList[3], ImageList[2], [this](QObject* s) { Btn_MinClick(s); }, "FBtn_Min"},
        {FBtn_Close1, texts::SHintClose, ImageList[1], ImageList[0], [this](QObject* s) { Btn_CloseClick(s); },
         "FBtn_Close1"},
        {FBtn_Install, texts::SHintInstall, ImageList1[0], ImageList1[1], [this](QObject* s) { Btn_InstallClick(s); },
         "FBtn_Install"},
        {FBtn_ChangeDir, texts::SHintChange, ImageList2[0], ImageList2[1],
         [this](QObject* s) { Btn_SelectDirClick(s); }, "FBtn_ChangeDir"},
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
        button->OnClick = row.click;
        row.field = button;
    }
    FBtn_Close1->setParent(pl_Title);
    FBtn_Min->setParent(pl_Title);
    AlignTitleButtons();
    // The Tab key moves between the folder box, Change and Install; the
    // title-bar buttons take no focus (Escape closes).
    FBtn_ChangeDir->setFocusPolicy(Qt::TabFocus);
    FBtn_Install->setFocusPolicy(Qt::TabFocus);
    setTabOrder(Edt_InstallDir, FBtn_ChangeDir);
    setTabOrder(FBtn_ChangeDir, FBtn_Install);
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

void TMainForm::keyPressEvent(QKeyEvent* event) {
    // Escape runs the close flow, as the close button does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Btn_CloseClick(FBtn_Close1);
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edt_InstallDir) {
        // Enter in the folder box presses Install (nothing while it is disabled).
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
                FBtn_Install->KeyPress();
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }
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

void TMainForm::SetLabelText(QLabel* Label, const std::u16string& Text) {
    Label->setText(Q(Text));
    Label->adjustSize();
}

void TMainForm::SetWindowState(TWindowState State) {
    const app::TStateRow row = app::StateRow(State);
    RunOnWindowThread([this, row] {
        SetLabelText(lb_Hint, row.Hint);
        SetFontColor(lb_Hint, controls::ColorToQColor(row.HintColor));
        FBtn_Install->setEnabled(row.Install);
        FBtn_ChangeDir->setEnabled(row.Change);
        if (row.Percent == app::TStateRow::Reset) SetLabelText(Lb_ProcessPostion, texts::SPercentZero);
        Lb_ProcessPostion->setVisible(row.Percent == app::TStateRow::Shown);
        lb_Hint->repaint();
    });
}

std::u16string TMainForm::HintText() {
    return CallOnWindowThread([this] { return lb_Hint->text().toStdU16String(); });
}

void TMainForm::SetPercentText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { SetLabelText(Lb_ProcessPostion, Text); });
}

void TMainForm::SetPercentVisible(bool Visible) {
    RunOnWindowThread([this, Visible] { Lb_ProcessPostion->setVisible(Visible); });
}

void TMainForm::AddLogLine(const std::u16string& Line) {
    RunOnWindowThread([this, Line] { M_Log->appendPlainText(Q(Line)); });
}

std::u16string TMainForm::InstallDirText() {
    return CallOnWindowThread([this] { return Edt_InstallDir->text().toStdU16String(); });
}

void TMainForm::SetInstallDirText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { Edt_InstallDir->setText(Q(Text)); });
}

void TMainForm::ShowAutoUpdatePage() {
    RunOnWindowThread([this] { PG->setCurrentWidget(tb_AutoUpdate); });
}

bool TMainForm::AutoUpdatePageActive() {
    return CallOnWindowThread([this] { return PG->currentWidget() == tb_AutoUpdate; });
}

void TMainForm::SetHint1(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { SetLabelText(lb_Hint1, Text); });
}

std::u16string TMainForm::PackageFolderText() {
    return CallOnWindowThread([this] { return Edt_FileName->text().toStdU16String(); });
}

void TMainForm::SetPackageFolderText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { Edt_FileName->setText(Q(Text)); });
}

bool TMainForm::DesktopShortcutChecked() {
    return CallOnWindowThread([this] { return CheckB_DeskTop->isChecked(); });
}

bool TMainForm::RunAfterInstallChecked() {
    return CallOnWindowThread([this] { return CheckB_InstallAndRun->isChecked(); });
}

void TMainForm::SetDownloadPageEnabled(bool Enabled) {
    RunOnWindowThread([this, Enabled] {
        for (QWidget* control : std::initializer_list<QWidget*>{Btn_DownLoadAndRun, Btn_Dir, CheckB_DeskTop,
                                                                CheckB_InstallAndRun, Edt_FileName})
            control->setEnabled(Enabled);
    });
}

void TMainForm::RunOnWindowThread(std::function<void()> Action) {
    if (QThread::currentThread() == thread()) {
        Action();
    } else {
        QMetaObject::invokeMethod(this, std::move(Action), Qt::QueuedConnection);
    }
}

void TMainForm::PostToWindowThread(std::function<void()> Action) {
    QMetaObject::invokeMethod(this, std::move(Action), Qt::QueuedConnection);
}

void TMainForm::EndMessageLoop(int Status) {
    // Queued, so that changes asked for before it are still applied.
    QMetaObject::invokeMethod(qApp, [Status] { QCoreApplication::exit(Status); }, Qt::QueuedConnection);
}

void TMainForm::ProcessMessages() {
    if (QThread::currentThread() == thread()) QCoreApplication::processEvents();
}
