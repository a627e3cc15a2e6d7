// The markup bar and the title style.
#include "main/UnitMainPrivate.h"

namespace quillet::ui {

void TFormQuillet::connectMarkupHandlers() {}

void TFormQuillet::SpeedButtonStyleClick(QObject*) {}
void TFormQuillet::SpeedButtonListClick() {}
void TFormQuillet::SpeedButtonFontClick() {}
void TFormQuillet::SpeedButtonTtlFontClick() {}
void TFormQuillet::CheckBoxTitleMarkClick() {}

} // namespace quillet::ui
