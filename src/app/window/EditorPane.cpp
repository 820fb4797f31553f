// The editor pane: showing the current entry as text or hex, and the editor commands.

#include "window/MainWindow.h"

void TKLV_main_form::ReprocessCurrentEntry() {}

void TKLV_main_form::EditorRunActionExecute() {}
void TKLV_main_form::CheckFileActionExecute() {}
void TKLV_main_form::CheckAllFilesActionExecute() {}
void TKLV_main_form::EditorOkActionExecute() {}
void TKLV_main_form::EditorCancelActionExecute() {}
void TKLV_main_form::EditorSearchActionExecute() {}
void TKLV_main_form::EditorReplaceActionExecute() {}
void TKLV_main_form::EditorZoomInActionExecute() {}
void TKLV_main_form::EditorZoomOutActionExecute() {}
void TKLV_main_form::EditorOpenFileActionExecute() {}
void TKLV_main_form::EditorSaveFileActionExecute() {}
void TKLV_main_form::EditorCutActionExecute() {}
void TKLV_main_form::EditorCopyActionExecute() {}
void TKLV_main_form::EditorPasteActionExecute() {}
void TKLV_main_form::EditorSelectAllActionExecute() {}
void TKLV_main_form::EditorUndoActionExecute() {}
void TKLV_main_form::HexViewActionExecute() {}
