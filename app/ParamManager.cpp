#include "app/ParamManager.h"

ParamManager::ParamManager(QObject* parent) : QObject(parent)
{
    registerHubMetaTypes();
}
