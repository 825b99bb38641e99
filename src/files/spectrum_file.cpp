#include "files/spectrum_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/file_names.h"
#include "files/file_text.h"
#include "files/result_file.h"
#include "files/test_spectrum.h"
#include "graph/frame.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {

namespace {

constexpr std::string_view kPrompt =
    "Enter just the file name, no path or extension. [Data file should be in same folder as "
    "pkd program. .pkd or .txt is assumed.]";
constexpr std::string_view kNotFound = "File not found";
constexpr size_t kMaxFileBytes = size_t{64} << 20;  // far beyond any spectrum of 1011 rows
constexpr int kRawColour = 7;
constexpr int kNoWavelength = 1000000;  // L before any wavelength is read
constexpr double kFloorStart = 1000000;
constexpr int kLastRecordWave = kMaxWave - 1;  // a spectrum record also fills w + 1
constexpr size_t kHeadingLines = 6;            // of a result file, before its data rows
constexpr double kRangeStartBeforeLoad = 201;

// What one load reads, held apart from the shared state until the whole
// source is read and found loadable, so a failed load leaves the reset state.
struct Load {
    WaveArray spectrum{};
    SlotArray io{}, xo{}, width{}, eta{};
    std::array<PeakShape, kSlotCount> shape{};
    std::array<int16_t, kSlotCount> kept{};
    std::array<bool, kMaxWave + 1> setByRow{};  // wavelengths a row of the source sets
    int low = kNoWavelength;                    // L
    int high = -1;                              // H
    double top = 0;
    double floor = kFloorStart;
    int rows = 0;
    int outside = 0;           // rows skipped because their wavelength lies outside the array
    WaveArray sigma{};         // a spectrum file's third column
    std::string sigmaProblem;  // why it cannot weigh a fit, empty when it can
    bool resultFile = false;
    Baseline baseline;  // a result file's

    // Stores v at w and tracks both; every value read is tracked, also one
    // that a later row overwrites.
    void store(int w, double v) {
        spectrum[w] = v;
        setByRow[w] = true;
        ++rows;
        low = std::min(low, w);
        top = std::max(top, v);
        floor = std::min(floor, v);
    }
};

void readTestSpectrum(Load& load);
void loadAnswer(State& s, Toolkit& ui, const std::string& answer, NameUse use);
const NamedFile* findSource(Toolkit& ui, const std::vector<NamedFile>& files);
std::string readSpectrumFile(std::string_view content, const std::string& fileName, Load& load);
std::string readResultFile(std::string_view content, const std::string& fileName, Load& load);
std::string unloadableProblem(const Load& load, const std::string& fileName, int lastWave);
void show(State& s, Toolkit& ui, const Load& load);

}  // namespace

void GetFile_Click(State& s, Toolkit& ui) {
    DrawGraphFrame(s, ui);
    ui.listClear(Control::List);
    s.DataName = ui.inputBox(kPrompt);
    loadAnswer(s, ui, s.DataName, NameUse::Load);
}

void OpenPath(State& s, Toolkit& ui, const std::string& path) {
    if (path.empty()) return;
    DrawGraphFrame(s, ui);
    ui.listClear(Control::List);
    s.DataName = path;
    loadAnswer(s, ui, path, NameUse::Exact);
}

namespace {

// What Get File does with the answer of its input box, and Open, a drop and
// the command line with the file chosen: the state is reset, then the file
// (or, for no name, the test spectrum) is read and shown.
void loadAnswer(State& s, Toolkit& ui, const std::string& answer, NameUse use) {
    const std::string folder = programFolder(s, ui);
    s.EqKept = {};
    s.EqXo = {};
    s.EqW = {};
    s.EqIo = {};
    s.EqShape = {};
    s.EqEta = {};
    s.Spectrum = {};
    s.PeakX[0] = kRangeStartBeforeLoad;
    s.FitBaseline = Baseline{.kind = s.FitBaseline.kind};
    s.Units = {};
    s.Sigma = {};
    s.SigmaProblem = State{}.SigmaProblem;

    Load load;
    if (answer.empty()) {
        readTestSpectrum(load);
        show(s, ui, load);
        return;
    }
    const std::vector<NamedFile> files = resolveName(answer, use, folder, homeFolder());
    const NamedFile* source = findSource(ui, files);
    if (source == nullptr) {
        ui.messageBox(kNotFound);
        return;
    }
    const bool resultFile = source->resultFile;
    const std::string& fileName = source->shown;
    std::string error;
    std::optional<std::string> content = ui.readFile(source->path, kMaxFileBytes, error);
    if (!content) {
        ui.messageBox("Cannot read " + fileName + " (" + error + "). Nothing was loaded.");
        return;
    }
    // The size cap holds for the file as it lies on disk; decoding only
    // shortens it.
    const std::string text = decodeFileText(std::move(*content));
    std::string problem =
        resultFile ? readResultFile(text, fileName, load) : readSpectrumFile(text, fileName, load);
    const int lastWave = resultFile ? kMaxWave : kLastRecordWave;
    if (problem.empty()) problem = unloadableProblem(load, fileName, lastWave);
    if (!problem.empty()) {
        ui.messageBox(problem);
        return;
    }
    if (use == NameUse::Exact || hasFolderPart(answer)) moveProgramFolder(s, source->path);
    ui.setWindowCaption("Peakfold Program          " + fileNameOf(source->path) +
                        "           ZK 2004");
    show(s, ui, load);
    if (load.outside > 0) {
        ui.messageBox(std::to_string(load.outside) + (load.outside == 1 ? " row" : " rows") +
                      " of " + fileName + " skipped: wavelengths outside 0 to " +
                      std::to_string(lastWave) + " nm, the span that can be loaded.");
    }
}

void readTestSpectrum(Load& load) {
    for (int w = kTestSpectrumFirst; w <= kTestSpectrumLast; ++w) {
        load.store(w, TestSpectrumValue(w));
    }
    load.sigmaProblem = "the test spectrum has no σ column";
    load.high = kTestSpectrumLast + 1;  // 1001 stays 0 and is rescaled and drawn with the rest
}

// The first of the files that exists. A name that means one file only is
// tried even when something other than a plain file lies there, so that the
// message says why it cannot be read (a folder, a device); where nothing
// lies, the file is not found.
const NamedFile* findSource(Toolkit& ui, const std::vector<NamedFile>& files) {
    for (const NamedFile& file : files) {
        if (ui.fileExists(file.path)) return &file;
    }
    const bool onlyOne = files.size() == 1 && ui.pathExists(files.front().path);
    return onlyOne ? &files.front() : nullptr;
}

// The wavelength of a row as a whole number, or nothing when the row has no
// usable wavelength; one beyond the range of a double counts as outside.
struct Wavelength {
    bool found = false;
    double value = 0;  // rounded, halves to even; may lie outside the array
};

Wavelength wavelengthOf(const FieldNumber& number) {
    if (!number.found) return {};
    return {true, number.tooLarge ? HUGE_VAL : roundHalfEven(number.value)};
}

struct Record {
    Wavelength wavelength;
    double intensity = 0;
    // The third column: absent, or its text and the number it holds.
    bool hasSigma = false;
    std::string sigmaText;
    FieldNumber sigma;
};

std::string withoutQuotes(std::string_view line) {
    std::string text;
    text.reserve(line.size());
    for (char c : line) {
        if (c != '"') text.push_back(c);
    }
    return text;
}

size_t skipBlanks(std::string_view text, size_t pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    return pos;
}

// The field after the intensity, up to the next separator.
void readSigma(Record& record, std::string_view field, bool commaMayBeDecimal) {
    const size_t start = skipBlanks(field, 0);
    field = field.substr(start);
    const size_t end = field.find_first_of(commaMayBeDecimal ? "\t ;" : "\t ,;");
    field = field.substr(0, end);
    if (field.empty()) return;
    record.hasSigma = true;
    record.sigmaText = std::string(field);
    record.sigma = numberIn(field, commaMayBeDecimal);
}

// One line of a spectrum file as a record, or nothing when the line holds
// no wavelength and intensity (a heading, a blank line). Double quotes, as
// some spreadsheets put around fields, are dropped first.
std::optional<Record> spectrumRecord(std::string_view rawLine) {
    const std::string text = withoutQuotes(rawLine);
    const std::string_view line = text;
    FieldNumber wavelength, intensity;
    Record record;
    const size_t tab = line.find('\t');
    if (tab != std::string_view::npos) {
        // The wavelength before the first TAB, the intensity after it up to a
        // further TAB; a comma after the intensity ends it.
        const std::string_view rest = line.substr(tab + 1);
        wavelength = numberIn(line.substr(0, tab), true);
        const size_t secondTab = rest.find('\t');
        intensity = numberIn(rest.substr(0, secondTab), true);
        if (secondTab != std::string_view::npos)
            readSigma(record, rest.substr(secondTab + 1), true);
    } else {
        // Two numbers separated by a comma, a semicolon or blanks. Where the
        // comma separates the columns it cannot also be the decimal point.
        const size_t start = skipBlanks(line, 0);
        const size_t end = numberEnd(line, start);
        if (end == start) return std::nullopt;
        size_t next = skipBlanks(line, end);
        const bool commaSeparated = next < line.size() && line[next] == ',';
        if (commaSeparated || (next < line.size() && line[next] == ';')) {
            next = skipBlanks(line, next + 1);
        } else if (next == end) {
            return std::nullopt;  // the number runs straight into other text
        }
        const size_t fieldEnd = line.find_first_of(commaSeparated ? " ,;" : " ;", next);
        wavelength = numberIn(line.substr(start, end - start), false);
        intensity = numberIn(line.substr(next, fieldEnd - next), !commaSeparated);
        if (fieldEnd != std::string_view::npos) {
            size_t after = skipBlanks(line, fieldEnd);
            if (after < line.size() && (line[after] == ',' || line[after] == ';')) ++after;
            readSigma(record, line.substr(after), !commaSeparated);
        }
    }
    if (!wavelength.found || !intensity.found || intensity.tooLarge) return std::nullopt;
    record.wavelength = wavelengthOf(wavelength);
    record.intensity = intensity.value;
    return record;
}

// Why a record's sigma cannot weigh a fit, empty when it can.
std::string sigmaProblem(const Record& record, const std::string& fileName, size_t line) {
    const std::string where = "line " + std::to_string(line) + " of " + fileName;
    if (!record.hasSigma) return where + " has no σ";
    if (!record.sigma.found || record.sigma.tooLarge) {
        return where + " has σ " + record.sigmaText + ", which is not a finite number";
    }
    if (!(record.sigma.value > 0)) {
        return where + " has σ " + record.sigmaText + ", which is not above 0";
    }
    return {};
}

std::string readSpectrumFile(std::string_view content, const std::string& fileName, Load& load) {
    const std::vector<std::string_view> lines = splitLines(content);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::optional<Record> record = spectrumRecord(lines[n]);
        if (!record) continue;
        const double w = record->wavelength.value;
        if (!(w >= 0 && w <= kLastRecordWave)) {
            ++load.outside;
            continue;
        }
        const int i = static_cast<int>(w);
        const std::string problem = sigmaProblem(*record, fileName, n + 1);
        if (load.sigmaProblem.empty()) load.sigmaProblem = problem;
        const double sigma = problem.empty() ? record->sigma.value : 0;
        // The copy fills every second wavelength of data in 2 nm steps; it
        // never replaces a value that a row of the file sets itself, so
        // files in descending or mixed order keep every value they hold.
        load.store(i, record->intensity);
        load.sigma[i] = sigma;
        if (!load.setByRow[i + 1]) {
            load.spectrum[i + 1] = record->intensity;
            load.sigma[i + 1] = sigma;
        }
        load.high = std::max(load.high, i + 1);
    }
    return {};
}

// Splits a parameter line into slots: the label lands in slot 0 (as 0), so
// the k-th number lands in slot k. Each field runs to and includes its
// closing comma; numbers beyond the ninth have no slot and are ignored.
// Gives the highest slot that received a field, -1 when none did.
int readParameterLine(std::string_view line, SlotArray& slots) {
    int slot = 0;
    size_t p = 1;  // fields start after position p (counting from 1)
    size_t c = 0;
    while (c != line.size()) {
        const size_t comma = line.find(',', std::min(p, line.size()));
        c = comma == std::string_view::npos ? line.size() : comma + 1;
        if (slot <= kLastSlot) slots[slot] = TextNum(line.substr(std::min(p, line.size()), c - p));
        ++slot;
        p = c;
    }
    return std::min(slot, kSlotCount) - 1;
}

// An equation of a spectrum scaled to 0..100 never comes near this; beyond
// it the squares of the deviation figure would overflow to infinity.
constexpr double kLargestParameter = 1e100;

bool parametersUsable(const Load& load) {
    for (const SlotArray* slots : {&load.io, &load.xo, &load.width}) {
        for (double v : *slots) {
            if (std::fabs(v) > kLargestParameter) return false;
        }
    }
    return true;
}

std::string readResultFile(std::string_view content, const std::string& fileName, Load& load) {
    const std::vector<std::string_view> lines = splitLines(content);
    if (lines.size() < kHeadingLines) {
        return fileName + " is not a complete result file: it has fewer than the six lines " +
               "before the data rows. Nothing was loaded.";
    }
    const int lastAmplitude = readParameterLine(lines[1], load.io);
    for (int i = 1; i <= lastAmplitude; ++i) load.kept[i] = 1;
    readParameterLine(lines[2], load.xo);
    readParameterLine(lines[3], load.width);
    load.resultFile = true;
    load.baseline = BaselineOfLine(lines[4]);
    const std::vector<Peak> shapes = ShapesOfLine(lines[4]);
    for (size_t k = 0; k < shapes.size() && k + 1 < kSlotCount; ++k) {
        load.shape[k + 1] = shapes[k].shape;
        load.eta[k + 1] = shapes[k].eta;
    }
    load.sigmaProblem = fileName + " is a result file, which holds no σ";
    if (!parametersUsable(load)) {
        return fileName + " holds an equation parameter beyond " + NumText(kLargestParameter) +
               ", too large to draw or fit. Nothing was loaded.";
    }

    for (size_t n = kHeadingLines; n < lines.size(); ++n) {
        const std::string_view row = lines[n];
        const size_t c1 = row.find(',');
        if (c1 == std::string_view::npos) continue;
        const size_t c2 = row.find(',', c1 + 1);
        if (c2 == std::string_view::npos) continue;
        const Wavelength w = wavelengthOf(numberIn(row.substr(0, c1), false));
        const FieldNumber data = numberIn(row.substr(c1 + 1, c2 - c1), false);
        if (!w.found || !data.found || data.tooLarge) continue;
        if (!(w.value >= 0 && w.value <= kMaxWave)) {
            ++load.outside;
            continue;
        }
        load.store(static_cast<int>(w.value), data.value);
        load.high = std::max(load.high, static_cast<int>(w.value));
    }
    return {};
}

// What keeps read data from being rescaled to 0..100, empty when nothing.
std::string unloadableProblem(const Load& load, const std::string& fileName, int lastWave) {
    if (load.rows == 0 && load.outside > 0) {
        return "No row of " + fileName + " has a wavelength from 0 to " + std::to_string(lastWave) +
               " nm, the span that can be loaded. Nothing was loaded.";
    }
    if (load.rows == 0) {
        return fileName + " holds no rows of wavelength and intensity. Nothing was loaded.";
    }
    if (load.top == load.floor) {
        return "All intensities in " + fileName +
               " are equal, so they cannot be scaled to 0..100. Nothing was loaded.";
    }
    if (!std::isfinite(100 * (load.top - load.floor))) {
        return "The intensities in " + fileName +
               " span too wide a range to be scaled to 0..100. Nothing was loaded.";
    }
    return {};
}

// Puts the read data into the shared state, lists the loaded equations,
// rescales the data to 0..100, drawing each segment as soon as its right end
// is rescaled, and sets the fit range to the data's extent.
void show(State& s, Toolkit& ui, const Load& load) {
    s.EqIo = load.io;
    s.EqShape = load.shape;
    s.EqEta = load.eta;
    s.EqXo = load.xo;
    s.EqW = load.width;
    s.EqKept = load.kept;
    s.EqKept[0] = 0;
    s.Spectrum = load.spectrum;
    s.Sigma = load.sigma;
    s.SigmaProblem = load.sigmaProblem;
    for (int i = 1; i <= kLastSlot; ++i) {
        if (s.EqKept[i] == 1) ui.listAppend(Control::List, EquationLine(s, i, true));
    }
    // The chosen kind stays for the next fit, its coefficients belong to the
    // old data; a result file's own baseline comes back with its kind.
    s.FitBaseline = Baseline{.kind = s.FitBaseline.kind};
    if (load.baseline.kind != BaselineKind::None) {
        s.FitBaseline = load.baseline;
        ui.showFitChoices(s.FitBaseline.kind, s.Weights);
    }
    s.Units = {load.floor, (load.top - load.floor) / 100, load.resultFile};

    const int a = load.low, b = load.high;
    const auto rescale = [&](double v) { return 100 * (v - load.floor) / (load.top - load.floor); };
    s.Spectrum[a] = rescale(s.Spectrum[a]);
    for (int w = a + 1; w <= b; ++w) {
        s.Spectrum[w] = rescale(s.Spectrum[w]);
        ui.graphLine(static_cast<float>(w - 1), static_cast<float>(s.Spectrum[w - 1]),
                     static_cast<float>(w), static_cast<float>(s.Spectrum[w]), LineStyle::Line,
                     kRawColour);
    }
    s.Wave = toInt16(b);
    s.PeakX[0] = a;
    s.PeakW[0] = toInt16(b);
}

}  // namespace

}  // namespace peakfold
