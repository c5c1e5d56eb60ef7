#pragma once
// The rules of the main window that do not need a window: what "Save" stores, how the stored
// sizes are shown, which commands the queue's running state leaves usable, the entries of the
// lists' context menus, the checks before a preview opens and where the follow preview stands.
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

#include "intake/send_queue.h"
#include "ui/logic/field_rules.h"

namespace qel::ui {

struct MachineFields {
  QString ip, width, length;
};

// The three fields from Config.ini: the address as stored, the sizes with their fraction cut.
MachineFields loadMachineFields(const QString& home);
// The working width and length, in mm.
inline constexpr NumberRule kPageSizeRule{1, 100000, false};
enum class MachineCheck { Accepted, AddressRefused, WidthRefused, LengthRefused };
// What "Save" takes: a dotted IPv4 address and two sizes within kPageSizeRule.
MachineCheck checkMachineFields(const MachineFields& fields);
// "Save": Xitong_IP as typed, Page_Width and Page_Height read as reals (after the check).
void saveMachineFields(const QString& home, const MachineFields& fields);
// A stored size as the fields show it: the whole part, "%d".
QString wholePart(double value);

// "Advanced", "+" and the context menus work only while the queue is paused (the big button
// does not read "Pause").
inline bool editingAllowed(bool queuePaused) { return queuePaused; }

enum class ListAction { ToHistory, ToBin, ToQueue, ModifyName };
struct MenuEntry {
  ListAction action;
  intake::QueueList target;  // for the moves
};
// The context menu of a shown list, in menu order.
std::vector<MenuEntry> menuFor(intake::QueueList list);

enum class PreviewCheck { Ok, EmptyName, Missing };
PreviewCheck checkPreviewFile(const QString& path);
// The file a double click on a row names: that list's folder and the row text.
QString rowFile(const intake::CSendQueue& queue, intake::QueueList list, const QString& rowText);

}  // namespace qel::ui
