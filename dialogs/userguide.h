#pragma once

// The user guide shown by the help dialog: Qt rich text, untranslated source wording. Pass it
// through QCoreApplication::translate("HelpDialog", userGuideHtml) before showing it.
extern const char userGuideHtml[];
