#pragma once

class QCoreApplication;

namespace abd {

/// Qt's own texts (buttons, the options' help) in Brazilian Portuguese, whatever the system's language.
void InstallQtTranslations(QCoreApplication& app);

} // namespace abd
