#pragma once

#include <QGraphicsView>

class KestGraphicsView : public QGraphicsView
{
    Q_OBJECT
public:
    explicit KestGraphicsView(QWidget *parent = nullptr);
};
