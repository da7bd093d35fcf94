#include "gui/program_resources.h"

#include "app/control_ids.h"

// Q_INIT_RESOURCE has to be used outside any namespace.
static void RegisterProgramResources() { Q_INIT_RESOURCE(resources); }

namespace vx3::gui {

void EnsureProgramResources() {
  static const bool registered = (RegisterProgramResources(), true);
  (void)registered;
}

QString BitmapResourcePath(int id) { return QStringLiteral(":/bitmap%1.png").arg(id); }

QIcon ProgramIcon() {
  EnsureProgramResources();
  return QIcon(QStringLiteral(":/icon%1.png").arg(app::kIconResource));
}

}  // namespace vx3::gui
