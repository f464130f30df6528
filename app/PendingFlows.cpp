// Temporary bodies of the installation flows the window wires, so that the
// program links until the flows themselves arrive.
#include "app/MainFrm.h"

void TMainForm::Btn_CloseClick(QObject*) { EndMessageLoop(); }  // pending: installation flow
void TMainForm::Btn_InstallClick(QObject*) {}  // pending: installation flow
void TMainForm::Btn_DownLoadAndRunClick(QObject*) {}  // pending: installation flow
void TMainForm::Btn_Close1Click(QObject*) { EndMessageLoop(); }  // pending: installation flow
void TMainForm::UnZipperStartUnZip(unzip::TUnZipper*, int, std::u16string&, bool&) {}  // pending: installation flow
void TMainForm::UnZipperEndUnZip(unzip::TUnZipper*, int, const std::u16string&) {}  // pending: installation flow
