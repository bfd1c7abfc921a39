#include <QV/GP/DeviceNotification.h>

#include "Common/ListenerList.h"

namespace QV::GP {

bool DeviceNotification::m_bInit = false;

namespace {

DETAIL::ListenerList<DeviceNotificationListener> s_listeners;

} // namespace

bool DeviceNotification::init()
{
    if (m_bInit)
        return true;
    if (!s_listeners.start())
        return false;
    if (!initOS())
    {
        s_listeners.stop();
        return false;
    }
    m_bInit = true;
    return true;
}

void DeviceNotification::deInit()
{
    if (!m_bInit)
        return;
    deInitOS();
    s_listeners.stop();
    m_bInit = false;
}

void DeviceNotification::addListener(DeviceNotificationListener* listener)
{
    if (m_bInit)
        s_listeners.add(listener);
}

void DeviceNotification::removeListener(DeviceNotificationListener* listener)
{
    if (m_bInit)
        s_listeners.remove(listener);
}

void DeviceNotification::onVolumeChanged(DeviceNotificationListener::eState state, const std::string& volumeName,
                                         const std::string& mountPath)
{
    if (!m_bInit)
        return;
    const VolumeChangeDetail detail{volumeName, mountPath};
    s_listeners.notify([&](DeviceNotificationListener* listener) {
        listener->onDeviceChangedDetail(state, &detail);
        // The detail's receiver may have removed this listener.
        if (s_listeners.contains(listener))
            listener->onVolumeChanged(state, volumeName);
    });
}

} // namespace QV::GP
