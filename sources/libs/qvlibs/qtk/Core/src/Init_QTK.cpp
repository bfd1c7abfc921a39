#include <QV/GP/Lib.h>
#include <QV/GP/Region.h>
#include <QV/QTK/Lib.h>
#include <QV/QTK/Resources.h>

namespace QV::QTK {

bool Lib::s_bInitialized = false;

bool Lib::init()
{
    if (s_bInitialized)
        return true;
    GP::Lib::checkVersionAndFlavour(GP::Lib::kVersion, GP::Lib::kFlavour);
    if (!GP::Region::init())
        return false;
    Resources::setSkinSearch(false);
    s_bInitialized = true;
    return true;
}

void Lib::deInit()
{
    if (!s_bInitialized)
        return;
    Resources::clearCache();
    Resources::setSkinSearch(false);
    GP::Region::deInit();
    s_bInitialized = false;
}

} // namespace QV::QTK
