// ImageList: a numbered list of pictures of one size that forms share for their tree nodes, menus
// and tool buttons (a designed image list component). Pictures of another size are scaled to it.
#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QSize>

class ImageList : public QObject
{
    Q_OBJECT
public:
    // How a picture is drawn: as it is, or with its background colour left out.
    enum class DrawingStyle { Normal, Transparent };

    explicit ImageList(QObject* parent = nullptr) : QObject(parent) {}

    QSize imageSize() const { return m_size; }
    // Empties the list: its pictures were made for the old size.
    void setImageSize(const QSize& size)
    {
        m_size = size;
        m_images.clear();
    }
    DrawingStyle drawingStyle() const { return m_style; }
    void setDrawingStyle(DrawingStyle style) { m_style = style; }

    int count() const { return int(m_images.size()); }
    // Appends the picture at the list's size; returns its number.
    int add(const QPixmap& picture)
    {
        m_images.append(picture.size() == m_size ? picture
                                                 : picture.scaled(m_size, Qt::IgnoreAspectRatio,
                                                                  Qt::SmoothTransformation));
        return count() - 1;
    }
    // The picture of that number; a null picture for a number outside the list.
    QPixmap picture(int index) const
    {
        return index >= 0 && index < count() ? m_images.at(index) : QPixmap();
    }

private:
    QSize m_size{16, 16};
    DrawingStyle m_style = DrawingStyle::Normal;
    QList<QPixmap> m_images;
};
