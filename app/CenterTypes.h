#pragma once

#include "model/CenterModel.h"
#include "model/CenterProductList.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The model's types as the window's QML sees them: the one model comes from the program, the
// product lists are made by the views.
struct CenterModelForeign {
    Q_GADGET
    QML_FOREIGN(CenterModel)
    QML_NAMED_ELEMENT(CenterModel)
    QML_UNCREATABLE("The model comes from the program.")
};

struct CenterProductListForeign {
    Q_GADGET
    QML_FOREIGN(CenterProductList)
    QML_NAMED_ELEMENT(CenterProductList)
};
