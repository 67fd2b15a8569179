// The metafile viewer: the pages a virtual printer captured, shown one at a time with a zoom and
// dragged with the mouse, and the search of a metafile's text records that picks the starting
// zoom from EmfView.Ini.
#pragma once

#include "metafile.h"

#include <platform/ui/forms.h>

#include <QPoint>
#include <QSize>
#include <QStringList>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class TLC;

// An up-down button pair. A click moves Position by one within Min..Max (starting from the
// number its associated combo box shows, when it shows one), writes it into that combo box, then
// raises OnClick with the direction.
class TUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min = 0;
    int Max = 100;
    int Position = 0;
    QComboBox* Associate = nullptr;
    std::function<void(QObject* Sender, bool Up)> OnClick;

    // What pressing the upper (Up) or the lower button does.
    void Click(bool Up);

private:
    QToolButton* m_up;
    QToolButton* m_down;
};

// The picture of a page, drawn over its whole area; it reports the mouse to its form.
class TEmfImage : public QWidget
{
    Q_OBJECT

public:
    explicit TEmfImage(QWidget* parent = nullptr);

    EmfPicture Picture;
    std::function<void(QMouseEvent* Event)> OnMouseDown;
    std::function<void(QMouseEvent* Event)> OnMouseMove;
    std::function<void(QMouseEvent* Event)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TfEmfView : public TForm
{
    Q_OBJECT

public:
    explicit TfEmfView(QWidget* parent = nullptr);

    QFrame* Panel2; // the top bar
    QPushButton* BitBtn12;
    QComboBox* ComboBox2;
    TUpDown* UpDown1;
    QLabel* Label5;
    TUpDown* UpDown2;
    QScrollArea* ScrollBox1;
    QFrame* Panel1;
    TEmfImage* Image4;
    TLC* LC1;

    // Takes the page files (full paths), shows page 1 of N and shows the form modally.
    void ShowEmfPages(const QStringList& Pages);

    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void ComboBox2Change(QObject* Sender);
    void UpDown1Click(QObject* Sender, bool Up);
    void UpDown2Click(QObject* Sender, bool Up);
    void BitBtn12Click(QObject* Sender);
    void Image4MouseDown(QMouseEvent* Event);
    void Image4MouseMove(QMouseEvent* Event);
    void Image4MouseUp(QMouseEvent* Event);

    // The page files, the page shown (from 1) and the page count.
    const QStringList& Pages() const { return m_pages; }
    int CurrentPage() const { return m_page; }
    int PageCount() const { return int(m_pages.size()); }

private:
    void createComponents();
    void layoutComponents();
    void connectHandlers();
    void ShowPage();
    double StartingZoom() const;

    QStringList m_pages;
    int m_page = 1;
    double m_zoom = 1.0;
    QSize m_natural;   // the current page's own size
    QSize m_panelSize; // set on page 1, kept on the others
    QPoint m_dragFrom;
    bool m_dragging = false;
};

// Searches the text records (EMR_EXTTEXTOUTA) of the metafile `Metafile` in two steps.
//
// 1. The record sought: with UseText its text must contain SearchText (case counts), with UseX
//    its reference x must be X, with UseY its y must be Y. A search by text alone, or by text and
//    one coordinate, takes the found record's other coordinates; a search by both coordinates
//    without text takes the first record at that point; a search by neither finds nothing.
// 2. From the point found, moved by (DX, DY), the first text record whose x lies within
//    -TolXMinus..+TolXPlus of it and whose y within -TolYMinus..+TolYPlus.
//
// When both steps find a record, `Result` receives Count characters of the second record's text
// from its Index-th (Index 0 and 1 both mean the first) and the result is true; otherwise
// `Result` is not changed and the result is false. Records are read only as far as they are
// whole (see WalkEmfRecords and ReadEmfText).
bool FindEmfText(const QByteArray& Metafile, const QString& SearchText, int X, int Y, bool UseText,
                 bool UseX, bool UseY, int DX, int DY, int TolXPlus, int TolXMinus, int TolYPlus,
                 int TolYMinus, int Index, int Count, QString& Result);
