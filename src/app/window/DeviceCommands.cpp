// Device commands: write, read, erase, test, images, verify, cancel, and their completion handlers.

#include "window/MainWindow.h"

void TKLV_main_form::ConnectProgressBar(kalvort::TDeviceClass &) {}

void TKLV_main_form::DeviceRereadActionExecute() {}
void TKLV_main_form::DeviceBurnActionExecute() {}
void TKLV_main_form::DeviceClearSMPCatActionExecute() {}
void TKLV_main_form::DeviceClearSMPFullActionExecute() {}
void TKLV_main_form::DeviceTestSMPQuickActionExecute() {}
void TKLV_main_form::DeviceTestSMPFullActionExecute() {}
void TKLV_main_form::DeviceReadImageActionExecute() {}
void TKLV_main_form::DeviceBurnImageActionExecute() {}
void TKLV_main_form::DeviceCancelActionExecute() {}
void TKLV_main_form::DeviceVerifyActionExecute() {}

void TKLV_main_form::GetCatalogComplete(kalvort::TDeviceError) {}
void TKLV_main_form::GetProgComplete(kalvort::TDeviceError) {}
void TKLV_main_form::BurnCatalogComplete(kalvort::TDeviceError) {}
void TKLV_main_form::BurnProgComplete(kalvort::TDeviceError) {}
void TKLV_main_form::ErraseComplete(kalvort::TDeviceError) {}
void TKLV_main_form::TestComplete(kalvort::TDeviceError) {}
void TKLV_main_form::CancelActionComplete(kalvort::TDeviceError) {}
void TKLV_main_form::ReadImageComplete(kalvort::TDeviceError) {}
void TKLV_main_form::BurnImageComplete(kalvort::TDeviceError) {}
