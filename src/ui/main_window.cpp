#include "ui/main_window.h"

#include <string>

#include "graph/frame.h"

namespace peakfold {

namespace {

constexpr int kStartPick = 100;     // PeakX of 0..3 when the window opens
constexpr int16_t kStartWidth = 1;  // PeakW of 0..3 when the window opens

}  // namespace

void Form_Load(State&, Toolkit& ui) {
    // The legend shows the colours of the curves of slots 1 to 6.
    constexpr Control kLegend[] = {Control::Shape1, Control::Shape2, Control::Shape3,
                                   Control::Shape4, Control::Shape5, Control::Shape6};
    int colour = 9;
    for (Control square : kLegend) ui.setFillColour(square, colour++);
}

void Form_Activate(State& s, Toolkit& ui) {
    DrawGraphFrame(s, ui);
    for (int i = 0; i <= 3; ++i) {
        s.PeakX[i] = kStartPick;
        s.PeakW[i] = kStartWidth;
    }
    // The list is not cleared first: a second activation appends the text again.
    for (std::string_view line : kHelpLines) ui.listAppend(Control::HelpList, line);
}

void exitprogram_Click(State&, Toolkit& ui) {
    ui.endProgram();
}

void HelpCommand_Click(State&, Toolkit& ui) {
    ui.setVisible(Control::HelpList, true);
    // Taller than the client area, so the shown list covers the whole window.
    ui.setHeight(Control::HelpList, kHelpShownHeight);
}

void HelpList_Click(State&, Toolkit& ui) {
    ui.setVisible(Control::HelpList, false);
}

const char* const kVersion = "1.1.0";

void About_Click(State&, Toolkit& ui) {
    ui.messageBox(std::string("Peakfold ") + kVersion +
                  "\nFits one to three Gaussian peaks to a spectrum.\n\n"
                  "Free software under the GNU General Public License, version 3 or any later "
                  "version. It comes without any warranty.");
}

// Lines 1 to 6 are the credits; the trailing blanks of some lines belong to them.
const std::array<std::string_view, 58> kHelpLines{
    "Peakfold - Gaussian peak fitting, 2026",
    "Free to use, copy and share, also changed, as long as these lines stay with it.",
    "It comes without any warranty: check every fit against your data before relying on it.",
    "",
    "Contact: see the README file of the Peakfold project for questions and reports.",
    "",
    "The program can fit up to 3 Gaussian equations to a set of raw spectral data.",
    "Additional Gaussians can be found by Keeping the resulting Gaussians and",
    "fitting more Gaussians on the difference. Parameters can be manually tuned.",
    "",
    "Click Get File to load a data file. The path is always assumed to be the folder where",
    "the Gaussian program resides. The text data file must have 2 columns separated by",
    "a comma: wavelength, intensity. There should be no extra lines at the start or end. ",
    "The program first checks for an .pkd file to load before loading a .txt file.",
    "",
    "To test the program just click OK with nothing in the filename box.",
    "A test set of data is loaded for processing.",
    "",
    "To minimize processing time the user must estimate where the peaks might be and",
    "specify the range of data where calculations will be performed. Left click on the ",
    "three estimated peak locations. Peak order does not matter. Left click to specify",
    "the left-most point in the data range to use in the calculation. Right click on the ",
    "right-most point. Note as you click The Range/Peak button on the left changes. You",
    "can click this button to manually select what you are setting when you click",
    "on the graph with the mouse. Negative amplitude peaks (dips) are also searched.",
    "",
    "Click Calculate. The program will display three gaussian equations and plot the",
    "sum of these over your raw data. Use Save File to create an output file with the "
    "extension .pkd",
    "This text file has 6 columns: 1. Wavelength, 2. Raw Data, 3. Sum of the 3 gaussians ",
    "that were just calculated, 4. The first gaussian, 5. The second, 6. The third.",
    "Warning: Old files are overwritten when a new calculation is performed.",
    "",
    "Set Plot One/Plot All button to Plot one and click an equation to see a plot of that "
    "equation.",
    "",
    "Click Clear Graph to clear the graph and plot just the raw data again.",
    "",
    "To get a better fit or if you get a message: No fit found, try decreasing the Quality nbr",
    "on the left. This number sets the pulse width step, scan step and sum of the deviations ",
    "threshold. Thus 1 is the best possible fit but slowest while 10 is a rough fit but fast.",
    "Adjust the parameters on the bottom line to manually optimize the search and processing "
    "time.",
    "",
    "Fits can be adjusted manually with the Io, Xo and W buttons. Click on the gaussian equation",
    "you want to adjust. You can click on the Plot All / Plot One button to control whether just",
    "the highlighted equation is plotted or the sum of three gaussians in the group are plotted.",
    "Click Io, Xo, or W to vary the parameters in the highlighted equation. A left click "
    "increases",
    "the value, a right click decreases by an integer. Hold the shift key while clicking to vary",
    "the shifted value by .1",
    "",
    "Click Save to save the adjusted values in a file. You will be prompted for a filename.",
    ".pkd will be added automatically to the filename.",
    "Click Subtract to subtract a gaussian from the data. Highlighting one of the equations",
    "and click subtract. A new output filename is created.",
    "",
    "Refine (Fit menu, Ctrl+R) improves the listed equations by least squares over the fit",
    "range, starting from their values. Report (Fit menu, Ctrl+I) shows each equation with its",
    "standard errors, FWHM and area, and the fit statistics; Copy them or save them as CSV.",
    "",
    "Click on this Help Screen to return back to the program.",
};

}  // namespace peakfold
