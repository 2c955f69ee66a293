#pragma once

#include "model/CenterBackupList.h"
#include "model/CenterHistory.h"
#include "model/CenterModel.h"
#include "model/CenterPreferences.h"
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

struct CenterHistoryForeign {
    Q_GADGET
    QML_FOREIGN(CenterHistory)
    QML_NAMED_ELEMENT(CenterHistory)
    QML_UNCREATABLE("The history belongs to the model.")
};

struct CenterPreferencesForeign {
    Q_GADGET
    QML_FOREIGN(CenterPreferences)
    QML_NAMED_ELEMENT(CenterPreferences)
    QML_UNCREATABLE("The settings belong to the model.")
};

struct CenterBackupListForeign {
    Q_GADGET
    QML_FOREIGN(CenterBackupList)
    QML_NAMED_ELEMENT(CenterBackupList)
};

// The detail's tabs under names QML can read: its enumerations must begin with a capital.
namespace CenterDetailTab {
Q_NAMESPACE
QML_ELEMENT

enum Value {
    Overview = static_cast<int>(CenterDetailSection::overview),
    Guide = static_cast<int>(CenterDetailSection::guide),
    Comments = static_cast<int>(CenterDetailSection::comments),
};
Q_ENUM_NS(Value)

} // namespace CenterDetailTab
