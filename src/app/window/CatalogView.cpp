// The catalog list: filling it from the device's catalog and the catalog commands.

#include "window/MainWindow.h"

void TKLV_main_form::FillCatalogGrid() {}

void TKLV_main_form::AddFileToCatalogExecute() {}
void TKLV_main_form::AddNewFileToCatalogExecute() {}
void TKLV_main_form::RemFileFromCatalogExecute() {}
void TKLV_main_form::FilePropCatalogExecute() {}
void TKLV_main_form::FileUpCatalogExecute() {}
void TKLV_main_form::FileDownCatalogExecute() {}
void TKLV_main_form::SaveCatAsTxtActionExecute() {}
