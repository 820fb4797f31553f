// The network device list dialog, opened from "Поиск сетевого устройства".

#include "window/MainWindow.h"

void TKLV_main_form::DeviceNetworkActionExecute() {}
