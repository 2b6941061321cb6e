#ifndef QELVO_DEVICE_DEVICESELECTRESOURCE_H
#define QELVO_DEVICE_DEVICESELECTRESOURCE_H

// Template of DeviceSelectDialog; both programs compile device/DeviceSelect.rc into their resources.
#define IDD_DEVICE_SELECT        1079
#define IDC_DEVICE_LIST          1080
#define IDC_DEVICE_MANUFACTURER  1081
#define IDC_DEVICE_DESCRIPTION   1082

#endif
