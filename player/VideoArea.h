// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QPainter;
class QPushButton;
class QTimer;

// The player's picture area. Where no picture is shown (nothing loaded, a
// medium without video, a medium that did not play) it shows a calm
// background with a card: why the medium did not play, if it did not, and the
// medium's name. The video itself covers it: a child surface that the owner
// shows while a medium with a picture is loaded, or the engine's own window.
class VideoArea : public QWidget
{
    Q_OBJECT

public:
    explicit VideoArea(QWidget *parent = nullptr);

    // The card: a message (empty for none) and the medium's name.
    void setCard(const QString &message, const QString &name);
    // A surface the video is drawn on: it covers the whole area, under the
    // card, whatever the area's size.
    void setSurface(QWidget *surface);
    // The surface kept out of sight (beside the area, at the area's size)
    // rather than hidden: a window of the engine's inside it stays mapped at
    // the size it is shown at, and a picture shown again does not wait for
    // the engine to make its buffers anew.
    void parkSurface(bool parked);
    // A picture covers the area: the card stays named (for screen readers)
    // but is not drawn.
    void setCovered(bool covered);
    // The calm background of the area.
    static void paintBackground(QPainter &painter, const QRect &rect);
    QString message() const;
    QString name() const;

    // A short word over the picture for NoticeMs, announced to screen
    // readers (an alert whose name changes); the next one replaces it.
    static constexpr int NoticeMs = 1500;
    void showNotice(const QString &text);
    // With nothing loaded: how to begin, and a button offering the last
    // recording (offer: its caption). Empty texts hide them.
    void setStartHint(const QString &hint, const QString &offer);
    QWidget *offerButton() const;

signals:
    void offerTaken();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showLabels();
    QRect surfaceRect() const;

    QWidget *m_surface = nullptr;
    bool m_parked = false;
    bool m_covered = false;
    QLabel *m_message = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_hint = nullptr;
    QPushButton *m_offer = nullptr;
    QLabel *m_notice = nullptr;
    QTimer *m_noticeTimer = nullptr;
};
