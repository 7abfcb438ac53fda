#pragma once

#include <QLabel>

class QMouseEvent;

// The shop logo: a picture stretched over the whole label, which reports a click of the
// left mouse button released over it.
class LogoLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LogoLabel(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
