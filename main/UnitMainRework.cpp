// Reworking the newest entry: Delete-last, Edit-last and Undo.
#include "main/UnitMainPrivate.h"

namespace quillet::ui {

void TFormQuillet::connectReworkHandlers() {}

void TFormQuillet::SpeedButtonDELClick() {}
void TFormQuillet::SpeedButtonMODClick() {}
void TFormQuillet::SpeedButtonCANCELClick() {}

} // namespace quillet::ui
