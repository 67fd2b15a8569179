// The metafile viewer form, its up-down buttons and page picture, and the text search of a
// metafile's text records.
#include "emfview.h"

#include <app/translatableforms.h>
#include <platform/codepage.h>
#include <platform/dialogs.h>
#include <platform/files.h>
#include <platform/inifile.h>
#include <platform/support/globals.h>
#include <translation/lc.h>

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

// ---- the text search ----------------------------------------------------------------------------

namespace {

struct TextRecord
{
    qint32 x;
    qint32 y;
    QString text;
};

// The metafile's text records, as far as they are whole.
QList<TextRecord> textRecords(const QByteArray& metafile)
{
    QList<TextRecord> out;
    WalkEmfRecords(metafile, [&out](quint32 type, QByteArrayView record) {
        if (type == EmfTextRecordType)
            if (const std::optional<EmfText> t = ReadEmfText(record))
                out.append({t->x, t->y, codepage::fromAnsi(t->text)});
        return true;
    });
    return out;
}

} // namespace

bool FindEmfText(const QByteArray& Metafile, const QString& SearchText, int X, int Y, bool UseText,
                 bool UseX, bool UseY, int DX, int DY, int TolXPlus, int TolXMinus, int TolYPlus,
                 int TolYMinus, int Index, int Count, QString& Result)
{
    const QString text = UseText ? SearchText : QString();
    bool haveX = UseX;
    bool haveY = UseY;
    qint64 x0 = X;
    qint64 y0 = Y;
    const QList<TextRecord> records = textRecords(Metafile);

    bool found = false;
    for (const TextRecord& r : records) {
        const bool holds = !text.isEmpty() && r.text.contains(text, Qt::CaseSensitive);
        if (haveX && haveY)
            found = r.x == x0 && r.y == y0 && (text.isEmpty() || holds);
        else if (haveY)
            found = r.y == y0 && holds;
        else if (haveX)
            found = r.x == x0 && holds;
        else
            found = holds;
        if (found) {
            x0 = r.x;
            y0 = r.y;
            break;
        }
    }
    if (!found)
        return false;

    const qint64 tx = x0 + DX;
    const qint64 ty = y0 + DY;
    for (const TextRecord& r : records) {
        if (r.x >= tx - TolXMinus && r.x <= tx + TolXPlus && r.y >= ty - TolYMinus &&
            r.y <= ty + TolYPlus) {
            Result = Count > 0 ? r.text.mid(std::max(Index, 1) - 1, Count) : QString();
            return true;
        }
    }
    return false;
}

// ---- the up-down buttons and the picture
// ---------------------------------------------------------

TUpDown::TUpDown(QWidget* parent) : QWidget(parent)
{
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    auto* buttons = new QVBoxLayout(this);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { Click(true); });
    connect(m_down, &QToolButton::clicked, this, [this] { Click(false); });
}

void TUpDown::Click(bool Up)
{
    if (Associate) {
        bool number = false;
        const int shown = Associate->currentText().trimmed().toInt(&number);
        if (number)
            Position = shown;
    }
    Position = std::clamp(Position + (Up ? 1 : -1), Min, std::max(Min, Max));
    if (Associate)
        Associate->setCurrentText(QString::number(Position));
    if (OnClick)
        OnClick(this, Up);
}

TEmfImage::TEmfImage(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void TEmfImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Picture.draw(painter, rect());
}

void TEmfImage::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(event);
}

void TEmfImage::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(event);
}

void TEmfImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(event);
}

// ---- the form
// -------------------------------------------------------------------------------------

QUORVANE_TRANSLATABLE_FORM(TfEmfView);

TfEmfView::TfEmfView(QWidget* parent) : TForm(parent)
{
    OnCreate = [this](QObject* sender) { FormCreate(sender); };
    OnShow = [this](QObject* sender) { FormShow(sender); };
    createComponents();
    layoutComponents();
    connectHandlers();
}

void TfEmfView::createComponents()
{
    setCaption(QStringLiteral("Visualisation des documents EMF (Imprimante virtuelle)"));
    Panel2 = makeComponent<QFrame>("Panel2", "TPanel");
    BitBtn12 = makeComponent<QPushButton>("BitBtn12", "TBitBtn", Panel2);
    BitBtn12->setText(QStringLiteral("&Fermer"));
    BitBtn12->setToolTip(QStringLiteral("Fermer la fenêtre"));
    ComboBox2 = makeComponent<QComboBox>("ComboBox2", "TComboBox", Panel2);
    ComboBox2->setEditable(true);
    ComboBox2->addItems({QStringLiteral("500"), QStringLiteral("200"), QStringLiteral("100"),
                         QStringLiteral("75"), QStringLiteral("50"), QStringLiteral("25"),
                         QStringLiteral("10")});
    ComboBox2->setCurrentText(QStringLiteral("100"));
    UpDown1 = makeComponent<TUpDown>("UpDown1", "TUpDown", Panel2);
    UpDown1->Min = 1;
    UpDown1->Max = 1000;
    UpDown1->Position = 100;
    UpDown1->Associate = ComboBox2;
    Label5 = makeComponent<QLabel>("Label5", "TLabel", Panel2);
    Label5->setText(QStringLiteral("1/1"));
    UpDown2 = makeComponent<TUpDown>("UpDown2", "TUpDown", Panel2);
    UpDown2->Min = 1;
    UpDown2->Max = 1000;
    UpDown2->Position = 1;
    ScrollBox1 = makeComponent<QScrollArea>("ScrollBox1", "TScrollBox");
    Panel1 = makeComponent<QFrame>("Panel1", "TPanel");
    Image4 = makeComponent<TEmfImage>("Image4", "TImage", Panel1);
    LC1 = makeComponent<TLC>("LC1", "TLC", this);
    LC1->Consts = QStringList{QStringLiteral("0=File doesn't exist or corrupt!")};
}

void TfEmfView::layoutComponents()
{
    auto* bar = new QHBoxLayout(Panel2);
    bar->addWidget(BitBtn12);
    bar->addWidget(ComboBox2);
    bar->addWidget(UpDown1);
    bar->addSpacing(12);
    bar->addWidget(Label5);
    bar->addWidget(UpDown2);
    bar->addStretch();

    QPalette silver = ScrollBox1->palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    ScrollBox1->setPalette(silver);
    ScrollBox1->setBackgroundRole(QPalette::Window);
    ScrollBox1->setWidgetResizable(false);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Panel1->setAutoFillBackground(true);
    auto* picture = new QVBoxLayout(Panel1);
    picture->setContentsMargins(0, 0, 0, 0);
    picture->addWidget(Image4);
    ScrollBox1->setWidget(Panel1);

    auto* all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->addWidget(Panel2);
    all->addWidget(ScrollBox1, 1);
    resize(780, 560);
}

void TfEmfView::connectHandlers()
{
    connect(BitBtn12, &QPushButton::clicked, this, [this] { BitBtn12Click(BitBtn12); });
    connect(ComboBox2, &QComboBox::currentTextChanged, this,
            [this] { ComboBox2Change(ComboBox2); });
    UpDown1->OnClick = [this](QObject* sender, bool up) { UpDown1Click(sender, up); };
    UpDown2->OnClick = [this](QObject* sender, bool up) { UpDown2Click(sender, up); };
    Image4->OnMouseDown = [this](QMouseEvent* e) { Image4MouseDown(e); };
    Image4->OnMouseMove = [this](QMouseEvent* e) { Image4MouseMove(e); };
    Image4->OnMouseUp = [this](QMouseEvent* e) { Image4MouseUp(e); };
}

void TfEmfView::FormCreate(QObject*)
{
    Panel1->hide();
}

void TfEmfView::ShowEmfPages(const QStringList& Pages)
{
    m_pages = Pages;
    m_page = 1;
    UpDown2->Min = 1;
    UpDown2->Max = std::max(1, PageCount());
    UpDown2->Position = 1;
    UpDown2->setEnabled(true);
    Label5->setText(QStringLiteral("1/%1").arg(PageCount()));
    ShowPage();
    ShowModal();
}

// Shown once its size is known: the page takes the width the window gives it.
void TfEmfView::FormShow(QObject*)
{
    if (!Image4->Picture.isNull())
        ComboBox2Change(ComboBox2);
}

void TfEmfView::ShowPage()
{
    Panel1->hide();
    const QString path = m_page >= 1 && m_page <= PageCount() ? m_pages.at(m_page - 1) : QString();
    if (!Image4->Picture.load(path)) {
        dialogService().messageDlg(LC1->GetConst(0), mtError, mbCancel);
        return;
    }
    m_natural = Image4->Picture.naturalSize();
    Panel1->show();
    ComboBox2Change(ComboBox2);
}

void TfEmfView::ComboBox2Change(QObject*)
{
    bool number = false;
    int percent = ComboBox2->currentText().trimmed().toInt(&number);
    if (!number)
        percent = 100;
    m_zoom = percent * 0.01;
    if (Image4->Picture.isNull() || m_natural.isEmpty())
        return;
    if (m_page == 1) {
        const double aspect = double(m_natural.height()) / m_natural.width();
        const int width = int(std::lround(ScrollBox1->width() * StartingZoom() * m_zoom));
        m_panelSize = QSize(width, int(std::lround(width * aspect)));
    }
    Panel1->resize(m_panelSize);
    Image4->update();
}

void TfEmfView::UpDown1Click(QObject* Sender, bool)
{
    ComboBox2Change(Sender);
}

void TfEmfView::UpDown2Click(QObject*, bool Up)
{
    if (Up && m_page < PageCount())
        ++m_page;
    else if (!Up && m_page > 1)
        --m_page;
    UpDown2->Position = m_page;
    Label5->setText(QStringLiteral("%1/%2").arg(m_page).arg(PageCount()));
    ShowPage();
}

void TfEmfView::BitBtn12Click(QObject*)
{
    Close();
}

void TfEmfView::Image4MouseDown(QMouseEvent* Event)
{
    Image4->setCursor(Qt::PointingHandCursor);
    m_dragFrom = Event->position().toPoint();
    m_dragging = true;
}

void TfEmfView::Image4MouseMove(QMouseEvent* Event)
{
    if (!m_dragging)
        return;
    const QPoint at = Event->position().toPoint();
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    h->setValue(m_dragFrom.x() - at.x() + h->value());
    v->setValue(m_dragFrom.y() - at.y() + v->value());
}

void TfEmfView::Image4MouseUp(QMouseEvent*)
{
    Image4->unsetCursor();
    m_dragging = false;
}

// The factor of the last key of section [Zoom] of EmfView.Ini found in the page's text; 1 when
// there is no such file or key. A factor is a decimal number written with "." or ",".
double TfEmfView::StartingZoom() const
{
    const QString file = files::findNoCase(DataDir, QStringLiteral("EmfView.Ini"));
    if (file.isEmpty())
        return 1.0;
    const IniFile ini(file);
    const QString section = QStringLiteral("Zoom");
    double factor = 1.0;
    for (const QString& key : ini.readSection(section)) {
        QString found;
        if (!FindEmfText(Image4->Picture.bytes(), key, 0, 0, true, false, false, 0, 0, 10, 10, 10,
                         10, 0, 1000, found))
            continue;
        bool number = false;
        const double value = ini.readString(section, key)
                                 .trimmed()
                                 .replace(QLatin1Char(','), QLatin1Char('.'))
                                 .toDouble(&number);
        factor = number ? value : 1.0;
    }
    return factor;
}
