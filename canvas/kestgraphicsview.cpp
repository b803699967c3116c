#include "canvas/kestgraphicsview.h"

KestGraphicsView::KestGraphicsView(QWidget *parent) : QGraphicsView(parent) { }
