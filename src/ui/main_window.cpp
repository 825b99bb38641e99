#include "ui/main_window.h"

namespace peakfold {

void Form_Load(State&, Toolkit&) {}
void Form_Activate(State&, Toolkit&) {}
void exitprogram_Click(State&, Toolkit&) {}
void HelpCommand_Click(State&, Toolkit&) {}
void HelpList_Click(State&, Toolkit&) {}

}  // namespace peakfold
namespace peakfold { const std::array<std::string_view, 54> kHelpLines{}; }
