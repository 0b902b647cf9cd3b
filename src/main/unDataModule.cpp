#include "main/unDataModule.h"
#include "main/unUserGrid.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// Every image is drawn at 16 and 32 pixels so that toolbars with captions look sharp.
template <typename Draw> QIcon drawIcon(Draw draw)
{
    QIcon icon;
    for (int size : {16, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

void folder(QPainter &p, QColor fill, bool open = false)
{
    p.setPen(QPen(fill.darker(160), 0.8));
    p.setBrush(fill);
    QPainterPath tab;
    tab.moveTo(1.5, 4);
    tab.lineTo(1.5, 3);
    tab.lineTo(6, 3);
    tab.lineTo(7, 4.5);
    p.drawPath(tab);
    p.drawRect(QRectF(1.5, 4.5, 13, 9));
    if (open) {
        p.setBrush(fill.lighter(120));
        QPolygonF front({QPointF(3, 7), QPointF(15, 7), QPointF(13.5, 13.5), QPointF(1.5, 13.5)});
        p.drawPolygon(front);
    }
}

void globe(QPainter &p)
{
    p.setPen(QPen(QColor(20, 70, 140), 0.9));
    p.setBrush(QColor(90, 150, 220));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(3, 4.5), QPointF(13, 4.5));
    p.drawLine(QPointF(3, 11.5), QPointF(13, 11.5));
}

void person(QPainter &p, QColor c, double dx = 0)
{
    p.setPen(QPen(c.darker(170), 0.8));
    p.setBrush(c);
    p.drawEllipse(QRectF(5 + dx, 1.5, 6, 6));
    QPainterPath body;
    body.moveTo(2.5 + dx, 15);
    body.cubicTo(2.5 + dx, 9, 13.5 + dx, 9, 13.5 + dx, 15);
    body.closeSubpath();
    p.drawPath(body);
}

void magnifier(QPainter &p)
{
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QRectF(2, 2, 9, 9));
}

void grid(QPainter &p, QColor head)
{
    p.setPen(QPen(QColor(90, 90, 90), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.fillRect(QRectF(2, 3, 12, 3), head);
    for (double y : {6.0, 9.5})
        p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
    for (double x : {6.0, 10.5})
        p.drawLine(QPointF(x, 2.5), QPointF(x, 13.5));
}

void page(QPainter &p)
{
    p.setPen(QPen(QColor(90, 90, 90), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 1.5, 10, 13));
    for (double y : {4.5, 7.0, 9.5, 12.0})
        p.drawLine(QPointF(5, y), QPointF(11, y));
}

void gear(QPainter &p)
{
    p.setPen(QPen(QColor(80, 80, 80), 2.2));
    for (int a = 0; a < 8; ++a) {
        p.save();
        p.translate(8, 8);
        p.rotate(a * 45);
        p.drawLine(QPointF(0, 4.5), QPointF(0, 7));
        p.restore();
    }
    p.setPen(QPen(QColor(80, 80, 80), 1));
    p.setBrush(QColor(170, 170, 170));
    p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(6.5, 6.5, 3, 3));
}

void plug(QPainter &p, QColor c)
{
    p.setPen(QPen(c.darker(150), 1.4));
    p.drawLine(QPointF(1, 15), QPointF(5, 11));
    p.drawLine(QPointF(15, 1), QPointF(11, 5));
    p.setBrush(c);
    p.drawRoundedRect(QRectF(4, 6, 8, 5), 1.5, 1.5);
    p.save();
    p.translate(8, 8);
    p.rotate(-45);
    p.drawRect(QRectF(-4, -2.5, 8, 5));
    p.restore();
}

void badge(QPainter &p, QColor c, const QString &text)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, text);
}

} // namespace

TDM &TDM::instance()
{
    static TDM *dm = new TDM(); // lives until the process ends, as the data module does
    return *dm;
}

TDM::TDM()
{
    setObjectName(QStringLiteral("DM"));

    tree_.resize(TreeImageCount);
    tree_[TreeDomain] = drawIcon([](QPainter &p) { globe(p); });
    tree_[TreeDomainOpen] = tree_[TreeDomain];
    tree_[2] = drawIcon([](QPainter &p) { folder(p, QColor(240, 200, 90), true); });
    tree_[3] = drawIcon([](QPainter &p) { person(p, QColor(110, 160, 220)); });
    tree_[4] = drawIcon([](QPainter &p) { person(p, QColor(120, 190, 120), -2); person(p, QColor(110, 160, 220), 2); });
    tree_[5] = drawIcon([](QPainter &p) { folder(p, QColor(200, 200, 200)); });
    tree_[TreeContainer] = drawIcon([](QPainter &p) { folder(p, QColor(240, 200, 90)); });

    actions_.resize(ActionImageCount);
    actions_[ImgConnect] = drawIcon([](QPainter &p) { plug(p, QColor(80, 170, 80)); });
    actions_[ImgConnection] = drawIcon([](QPainter &p) { plug(p, QColor(100, 130, 200)); });
    actions_[ImgExit] = drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(110, 70, 40), 1));
        p.setBrush(QColor(170, 120, 70));
        p.drawRect(QRectF(3.5, 1.5, 9, 13));
        p.setBrush(Qt::yellow);
        p.drawEllipse(QRectF(9.5, 8, 2, 2));
    });
    actions_[ImgColumns] = drawIcon([](QPainter &p) { grid(p, QColor(120, 160, 220)); });
    actions_[ImgFilter] = drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(120, 170, 230));
        p.drawPolygon(QPolygonF({QPointF(1.5, 2), QPointF(14.5, 2), QPointF(9.5, 8), QPointF(9.5, 14),
                                 QPointF(6.5, 12.5), QPointF(6.5, 8)}));
    });
    actions_[ImgOptions] = drawIcon([](QPainter &p) { gear(p); });
    actions_[ImgBulkExport] = drawIcon([](QPainter &p) {
        page(p);
        p.setPen(QPen(QColor(30, 130, 30), 2));
        p.drawLine(QPointF(7, 9), QPointF(14, 9));
        p.drawLine(QPointF(11.5, 6.5), QPointF(14, 9));
        p.drawLine(QPointF(11.5, 11.5), QPointF(14, 9));
    });
    actions_[ImgReports] = drawIcon([](QPainter &p) {
        page(p);
        p.fillRect(QRectF(5, 9, 2, 4), QColor(200, 60, 60));
        p.fillRect(QRectF(8, 6, 2, 7), QColor(60, 120, 200));
        p.fillRect(QRectF(11, 8, 1.5, 5), QColor(60, 160, 60));
    });
    actions_[ImgGroups] = tree_[4];
    actions_[ImgQueryGroups] = drawIcon([](QPainter &p) {
        person(p, QColor(120, 190, 120), -2);
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(120, 170, 230));
        p.drawPolygon(QPolygonF({QPointF(8, 8), QPointF(15, 8), QPointF(12.5, 11), QPointF(12.5, 15),
                                 QPointF(10.5, 14), QPointF(10.5, 11)}));
    });
    actions_[ImgFindReplace] = drawIcon([](QPainter &p) {
        magnifier(p);
        p.setPen(QPen(QColor(200, 60, 60), 1.5));
        p.drawLine(QPointF(9, 14), QPointF(15, 14));
    });
    actions_[ImgServerInfo] = drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.setBrush(QColor(190, 190, 200));
        p.drawRect(QRectF(4, 1.5, 8, 13));
        p.setBrush(QColor(80, 200, 80));
        p.drawEllipse(QRectF(6, 11, 2, 2));
        for (double y : {4.0, 6.5})
            p.drawLine(QPointF(5.5, y), QPointF(10.5, y));
    });
    actions_[ImgAbout] = drawIcon([](QPainter &p) { badge(p, QColor(40, 110, 200), QStringLiteral("i")); });
    actions_[ImgFindUser] = drawIcon([](QPainter &p) {
        person(p, QColor(110, 160, 220), -2);
        p.scale(0.6, 0.6);
        p.translate(10, 10);
        magnifier(p);
    });
    actions_[ImgApply] = drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(30, 140, 30), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
    });
    actions_[ImgStop] = drawIcon([](QPainter &p) {
        p.setPen(QPen(QColor(130, 20, 20), 0.8));
        p.setBrush(QColor(210, 40, 40));
        QPolygonF oct;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45 * i) * 3.14159265358979 / 180;
            oct << QPointF(8 + 7 * std::cos(a), 8 + 7 * std::sin(a));
        }
        p.drawPolygon(oct);
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
    });
    actions_[ImgUserProperties] = drawIcon([](QPainter &p) {
        page(p);
        p.scale(0.55, 0.55);
        p.translate(12, 12);
        person(p, QColor(110, 160, 220));
    });

    // The desktop's icon for the program (packaging/icons), in every size it is drawn at.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        app_.addFile(QStringLiteral(":/appicon/%1x%1/org.vastrel.Arvendel.png").arg(size), QSize(size, size));
}

QIcon TDM::treeImage(int index) const { return tree_.value(index); }

QIcon TDM::actionImage(ActionImage image) const { return actions_.value(int(image)); }

QIcon TDM::userImage(int state) const { return userStateIcon(state); }

QIcon TDM::appIcon() const { return app_; }
