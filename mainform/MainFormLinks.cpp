// The links' settings (handles 17 to 20) on the port pages and their writes.
#include "mainform/MainForm.h"

#include "controls/Controls.h"

void TForm1::QVL1LinkEnter(TComponent *Sender) { EditOriginalValue = static_cast<TEdit *>(Sender)->Text(); }
