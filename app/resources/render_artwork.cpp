// Draws the window's artwork: the program icon, the product logo and the
// button faces, each at the size the window shows it, as 32-bit PNGs with
// alpha, at 100 % (NAME.png) and for screens at 150 % and 200 %
// (NAME@1.5x.png, NAME@2x.png): the same drawing at the scaled size, so that
// the window shows sharp artwork at those scales. Run through render.sh; the
// PNGs are kept in the tree.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor kTeal(0x02, 0xB4, 0xA8);
const QColor kDarkTeal(0x01, 0x9B, 0x91);
const QColor kOrangeRed(0xF2, 0x4D, 0x04);

// The scale being drawn (1, 1.5 or 2).
double gScale = 1;

// An image of w x h at 100 %, at the scaled size (rounded as the window
// rounds its scaled lengths), with a painter that draws in 100 % units.
struct TCanvas {
    QImage image;
    QPainter painter;
    TCanvas(int w, int h)
        : image(qRound(w * gScale), qRound(h * gScale), QImage::Format_ARGB32) {
        image.fill(Qt::transparent);
        painter.begin(&image);
        painter.scale(double(image.width()) / w, double(image.height()) / h);
    }
    QImage Done() {
        painter.end();
        return image;
    }
};

QFont Face(int pixels, bool bold) {
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The product mark: a white rounded tile with a teal Z drawn as one stroke.
void DrawMark(QPainter& p, const QRectF& box, const QColor& tile, const QColor& letter) {
    const double s = box.width();
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(box, s * 0.22, s * 0.22);
    QPainterPath z;
    z.moveTo(box.left() + s * 0.27, box.top() + s * 0.28);
    z.lineTo(box.left() + s * 0.73, box.top() + s * 0.28);
    z.lineTo(box.left() + s * 0.27, box.top() + s * 0.72);
    z.lineTo(box.left() + s * 0.73, box.top() + s * 0.72);
    p.setPen(QPen(letter, s * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(z);
}

QImage Icon() {
    TCanvas c(30, 30);
    QPainter& p = c.painter;
    p.setRenderHint(QPainter::Antialiasing);
    DrawMark(p, QRectF(1, 1, 28, 28), Qt::white, kTeal);
    return c.Done();
}

QImage Logo() {
    TCanvas c(230, 60);
    QPainter& p = c.painter;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    DrawMark(p, QRectF(4, 6, 48, 48), kTeal, Qt::white);
    p.setPen(kTeal);
    p.setFont(Face(30, true));
    p.drawText(QRect(62, 2, 168, 38), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("Zelvano在线"));
    p.setPen(QColor(0x66, 0x66, 0x66));
    p.setFont(Face(13, false));
    p.drawText(QRect(64, 38, 166, 20), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("学生客户端 2.0"));
    return c.Done();
}

// A 30 x 30 title-bar face: a cross or a bar in white on a coloured square.
QImage TitleButton(const QColor& back, bool cross) {
    TCanvas c(30, 30);
    QPainter& p = c.painter;
    p.fillRect(QRectF(0, 0, 30, 30), back);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::FlatCap));
    if (cross) {
        p.drawLine(QPointF(10, 10), QPointF(20, 20));
        p.drawLine(QPointF(20, 10), QPointF(10, 20));
    } else {
        p.fillRect(QRectF(9, 14, 12, 2), Qt::white);
    }
    return c.Done();
}

// A face with a word on it, optionally framed.
QImage Word(int w, int h, const QColor& back, const QColor& ink, const QColor& frame, const char* word, int pixels) {
    TCanvas c(w, h);
    QPainter& p = c.painter;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0, 0, w, h), 3, 3);
    if (frame.isValid()) {
        p.setPen(QPen(frame, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 3, 3);
    }
    p.setPen(ink);
    p.setFont(Face(pixels, false));
    p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString::fromUtf8(word));
    return c.Done();
}

bool Save(const QImage& image, const char* dir, const char* name) {
    QString file = QLatin1String(name);
    if (gScale != 1) file.replace(QLatin1String(".png"), gScale == 2 ? QLatin1String("@2x.png") : QLatin1String("@1.5x.png"));
    const QString path = QString::fromLocal8Bit(dir) + QLatin1Char('/') + file;
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const char* dir = argc > 1 ? argv[1] : ".";
    bool ok = true;
    for (const double scale : {1.0, 1.5, 2.0}) {
    gScale = scale;
    ok &= Save(Icon(), dir, "icon.png");
    ok &= Save(Logo(), dir, "logo.png");
    ok &= Save(TitleButton(kOrangeRed, true), dir, "close_hot.png");
    ok &= Save(TitleButton(kTeal, true), dir, "close.png");
    ok &= Save(TitleButton(kDarkTeal, false), dir, "min_hot.png");
    ok &= Save(TitleButton(kTeal, false), dir, "min.png");
    ok &= Save(Word(117, 44, kTeal, Qt::white, QColor(), "安装", 18), dir, "install.png");
    ok &= Save(Word(117, 44, kDarkTeal, Qt::white, QColor(), "安装", 18), dir, "install_hot.png");
    ok &= Save(Word(74, 28, Qt::white, kTeal, kTeal, "更改", 14), dir, "change.png");
    ok &= Save(Word(74, 28, kTeal, Qt::white, QColor(), "更改", 14), dir, "change_hot.png");
    }
    return ok ? 0 : 1;
}
