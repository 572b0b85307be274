#pragma once

#include "app/SharedTypes.h"

#include <QObject>

class ParamManager : public QObject
{
    Q_OBJECT
public:
    explicit ParamManager(QObject* parent = nullptr);
};
