// A toolkit without a screen: it records every drawing call in plot
// coordinates, keeps captions, texts and list lines, answers input boxes
// from a script and records message boxes.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/state.h"
#include "ui/history.h"
#include "ui/toolkit.h"

namespace peakfold {

struct DrawCall {
    enum class Kind { Clear, Line, Box, FilledBox, Point };
    Kind kind;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int colour = kDefaultColour;
};

struct HeadlessList {
    std::vector<std::string> lines;
    int index = -1;
    bool visible = true;
    int height = 0;
};

class HeadlessToolkit : public Toolkit {
public:
    HeadlessToolkit();

    // What happened, for the tests to read back.
    std::vector<DrawCall> draws;        // since the start, clears included
    std::vector<std::string> messages;  // message boxes in order
    std::vector<std::string> prompts;   // input-box prompts in order
    std::vector<Refinement> reports;    // fit reports shown, in order
    std::deque<std::string> answers;    // scripted input-box answers; empty text when none left
    std::string exportAnswer;           // the export dialog's path; cancelled when empty
    std::vector<FigureContent> figures;  // figures exported, in order
    std::map<Control, std::string> texts;
    std::map<Control, HeadlessList> lists;
    std::map<Control, int> fillColours;
    std::map<Control, int> repaints;
    std::string windowCaption = "Form1";
    int beeps = 0;
    std::string undoName, redoName;  // what Edit > Undo and Redo name
    int pumps = 0;
    bool ended = false;
    std::string folder;                 // current folder; the process's when empty
    std::function<void()> onPump;       // runs inside each pumpEvents()
    // Runs inside each pumpEventsIfDue(): at the searches' fixed abort
    // checks, and every few milliseconds while a search waits for its
    // worker threads.
    std::function<void()> onCheck;

    // Drawing calls since the last clear of the surface.
    std::vector<DrawCall> drawsSinceClear() const;
    // Lines of List.
    const std::vector<std::string>& listLines(Control list = Control::List) {
        return lists[list].lines;
    }

    void graphClear() override;
    void graphLine(float x1, float y1, float x2, float y2, LineStyle style, int colour) override;
    void graphPoint(float x, float y, int colour) override;
    std::string text(Control control) const override;
    void setText(Control control, std::string_view text) override;
    void repaintNow(Control control) override { ++repaints[control]; }
    void listAppend(Control list, std::string_view line) override;
    void listClear(Control list) override;
    int listCount(Control list) const override;
    int listIndex(Control list) const override;
    void setListIndex(Control list, int index) override;
    std::string listSelectedText(Control list) const override;
    void setListLine(Control list, int index, std::string_view line) override;
    std::string listLine(Control list, int index) const override;
    void showReport(const Refinement& report) override { reports.push_back(report); }
    void setVisible(Control control, bool visible) override;
    void setHeight(Control control, int twips) override;
    void setFillColour(Control shape, int colour) override { fillColours[shape] = colour; }
    void setWindowCaption(std::string_view caption) override { windowCaption = caption; }
    void endProgram() override { ended = true; }
    void messageBox(std::string_view text) override { messages.emplace_back(text); }
    std::string inputBox(std::string_view prompt) override;
    void pumpEvents() override;
    void pumpEventsIfDue() override {
        if (onCheck) onCheck();
    }
    void beep() override { ++beeps; }
    std::vector<PlotCall> plotCalls() const override;
    std::string currentCaption() const override { return windowCaption; }
    void selectQuietly(Control list, int index) override { lists[list].index = index; }
    void showHistory(const std::string& undo, const std::string& redo) override {
        undoName = undo;
        redoName = redo;
    }
    std::string currentFolder() override;
    std::string exportFileDialog() override { return exportAnswer; }
    std::string exportFigure(const std::string&, const FigureContent& figure) override {
        figures.push_back(figure);
        return {};
    }

    // A user click or selection: selects the line and raises the click.
    void clickListLine(int index, Control list = Control::List) { setListIndex(list, index); }
    // A user event delivered through the program's dispatch.
    void click(Control control);
    void mouseUp(Control control, int button, int shift, float x = 0, float y = 0);
    void keyPress(Control control, int key);
};

// A headless program: the shared state and the toolkit, connected, with the
// window created, loaded and activated as at start-up.
struct HeadlessApp {
    State s;
    HeadlessToolkit ui;
    std::shared_ptr<History> history;
    explicit HeadlessApp(bool startUp = true);
    HeadlessApp(const HeadlessApp&) = delete;
    HeadlessApp& operator=(const HeadlessApp&) = delete;
};

// Path of a measured spectrum in the shared data folder.
std::string dataFile(const std::string& name);

// The shared state after "Get File" loaded the measured spectrum of that
// file name (with its ".txt") from the shared data folder.
State loadedSpectrum(const std::string& fileName);

}  // namespace peakfold
