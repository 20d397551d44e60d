#include "engine/qualify.h"

#include "engine/sweep.h"

#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/curveset.h"
#include "engine/lineratemodel.h"
#include "engine/messages.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// A loop line is a few hundred bytes at most; a longer one is refused without being held.
constexpr qsizetype MaxLineBytes = 65536;
constexpr int ChunkLoops = 16384;
constexpr qint64 ReadBlock = 1 << 20;
// Remembered answers: pages of consecutive whole-metre lengths per group and service.
constexpr int PageLengths = 256;
constexpr int PagesPerService = (CalcInput::Length.max + PageLengths) / PageLengths;
constexpr qint64 MaxMemoPages = 2048; // 2048 × 256 answers × 12 bytes: 6 MB
// Groups whose models and answers outlive their chunk, as many as fit in the budget for models;
// the others are built for one chunk.
constexpr qint64 MaxKeptModelBytes = 16 << 20;
constexpr int MinKeptGroups = 16;
constexpr int MaxKeptGroups = 1024;
// Caches of what a cable or a line's cable-and-sections text means; emptied when they grow beyond.
constexpr int MaxRawKeys = 16384;
constexpr int MaxCables = 4096;
// The margin range a margin at a target rate is searched in, tenths of a dB.
constexpr int LowestTenths = -100;
constexpr int HighestTenths = 300;

template <typename Make>
LoopProblem inBothLanguages(const Make &make)
{
    LoopProblem p;
    {
        const MessageLanguageScope scope(MessageLanguage::English);
        p.english = make();
    }
    {
        const MessageLanguageScope scope(MessageLanguage::Russian);
        p.russian = make();
    }
    return p;
}

template <typename Make>
bool refuse(LoopProblem *problem, const Make &make)
{
    if (problem)
        *problem = inBothLanguages(make);
    return false;
}

QString text(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

bool isBlankLine(QByteArrayView line)
{
    for (char c : line)
        if (c != ' ' && c != '\t')
            return false;
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool validUtf8(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned min;
        unsigned code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned t = s[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// A whole number as a loop line writes it: digits with an optional '-', spaces around allowed.
// *shown is the number as a message names it; beyond 12 digits *value only keeps its sign.
bool wholeNumber(QByteArrayView field, qint64 *value, QString *shown)
{
    field = field.trimmed();
    const bool negative = field.startsWith('-');
    const QByteArrayView digits = negative ? field.sliced(1) : field;
    if (digits.isEmpty())
        return false;
    qint64 v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = v < 100000000000LL ? v * 10 + (c - '0') : 1000000000000LL;
    }
    *value = negative ? -v : v;
    *shown = v < 1000000000000LL ? QString::number(*value) : QString::fromLatin1(field);
    return true;
}

struct Fields {
    QByteArrayView id;
    QByteArrayView cable;
    QByteArrayView length;
    QByteArrayView sections;
};

QString loopSyntax()
{
    return localized("a loop line is id;cable;length[;sections]",
                     "строка линии имеет вид id;кабель;длина[;участки]");
}

// The first field, for a line refused before its fields could be told apart.
QByteArrayView firstField(QByteArrayView line)
{
    const qsizetype semi = line.indexOf(';');
    return semi < 0 ? line : line.first(semi);
}

bool splitFields(QByteArrayView line, Fields *f, LoopProblem *problem)
{
    if (line.endsWith(';'))
        line.chop(1);
    QByteArrayView parts[4];
    int count = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype semi = line.indexOf(';', start);
        if (count == 4)
            return refuse(problem, [] {
                return localized("too many fields: %1", "слишком много полей: %1").arg(loopSyntax());
            });
        parts[count++] = semi < 0 ? line.sliced(start) : line.sliced(start, semi - start);
        if (semi < 0)
            break;
        start = semi + 1;
    }
    f->id = parts[0];
    if (count < 3)
        return refuse(problem, [] {
            return localized("too few fields: %1", "мало полей: %1").arg(loopSyntax());
        });
    f->cable = parts[1];
    f->length = parts[2];
    f->sections = count > 3 ? parts[3] : QByteArrayView();
    return true;
}

bool parseCable(QByteArrayView field, QString *cable, LoopProblem *problem)
{
    field = field.trimmed();
    if (field.isEmpty())
        return refuse(problem, [] { return localized("no cable given", "не задан кабель"); });
    *cable = text(field);
    return true;
}

bool parseLength(QByteArrayView field, int *length, LoopProblem *problem)
{
    qint64 v = 0;
    QString shown;
    if (!wholeNumber(field, &v, &shown))
        return refuse(problem, [&] {
            return localized("length \"%1\" is not a whole number of metres",
                             "длина «%1» не является целым числом метров")
                .arg(text(field.trimmed()));
        });
    if (!CalcInput::Length.contains(v))
        return refuse(problem, [&] {
            return localized("length %1 m is outside %2..%3", "длина %1 м вне диапазона %2..%3")
                .arg(shown, QString::number(CalcInput::Length.min),
                     QString::number(CalcInput::Length.max));
        });
    *length = int(v);
    return true;
}

// `CABLE:LENGTH` joined by '+'; the cable is everything before the last ':', as for --section.
bool parseSections(QByteArrayView field, QVector<CableSection> *sections, qint64 *total,
                   LoopProblem *problem)
{
    using namespace CalcInput;
    sections->clear();
    *total = 0;
    field = field.trimmed();
    if (field.isEmpty())
        return true;
    const qsizetype count = field.count('+') + 1;
    if (count > MaxSections)
        return refuse(problem, [&] {
            return localized("%1 sections, at most %2", "участков %1, допускается не более %2")
                .arg(QString::number(count), QString::number(MaxSections));
        });
    qsizetype start = 0;
    for (;;) {
        const qsizetype plus = field.indexOf('+', start);
        const QByteArrayView piece = (plus < 0 ? field.sliced(start) : field.sliced(start, plus - start)).trimmed();
        const qsizetype colon = piece.lastIndexOf(':');
        const QByteArrayView cable = colon > 0 ? piece.first(colon).trimmed() : QByteArrayView();
        if (cable.isEmpty())
            return refuse(problem, [&] {
                return localized("section \"%1\" is not CABLE:LENGTH", "участок «%1» не имеет вида КАБЕЛЬ:ДЛИНА")
                    .arg(text(piece));
            });
        qint64 length = 0;
        QString shown;
        if (!wholeNumber(piece.sliced(colon + 1), &length, &shown))
            return refuse(problem, [&] {
                return localized("section \"%1\": the length is not a whole number of metres",
                                 "участок «%1»: длина не является целым числом метров")
                    .arg(text(piece));
            });
        if (!SectionLength.contains(length))
            return refuse(problem, [&] {
                return localized("section \"%1\": length %2 m is outside %3..%4",
                                 "участок «%1»: длина %2 м вне диапазона %3..%4")
                    .arg(text(piece), shown, QString::number(SectionLength.min),
                         QString::number(SectionLength.max));
            });
        sections->append({text(cable), int(length)});
        *total += length;
        if (plus < 0)
            break;
        start = plus + 1;
    }
    if (*total > Length.max)
        return refuse(problem, [&] {
            return localized("the sections add up to %1 m, above %2 m", "сумма длин участков %1 м больше %2 м")
                .arg(QString::number(*total), QString::number(Length.max));
        });
    return true;
}

bool checkTotal(qint64 total, int length, LoopProblem *problem)
{
    if (total <= length)
        return true;
    return refuse(problem, [&] {
        return localized("the sections add up to %1 m, more than the loop's length of %2 m",
                         "сумма длин участков %1 м больше длины линии %2 м")
            .arg(QString::number(total), QString::number(length));
    });
}

LoopProblem notUtf8()
{
    return inBothLanguages([] { return localized("the line is not UTF-8 text", "строка не является текстом UTF-8"); });
}

LoopProblem tooLong()
{
    return inBothLanguages([] {
        return localized("the line is longer than %1 bytes", "строка длиннее %1 байт").arg(QString::number(MaxLineBytes));
    });
}

int marginIndex(const MarginAtRate &margin)
{
    switch (margin.kind) {
    case MarginAtRate::Below: return 0;
    case MarginAtRate::Above: return 1;
    case MarginAtRate::Value: break;
    }
    if (margin.tenths < LowestTenths || margin.tenths > HighestTenths)
        return -1;
    return 2 + margin.tenths - LowestTenths;
}

// About what one curve's model of this line type holds: per DMT tone or PAM bin and candidate.
qint64 modelBytes(const LineTypeTemplate &line)
{
    if (line.count < 1)
        return 0;
    if (line.kind == LineTypeDmt) {
        if (line.count < 2 || line.F.size() < line.count)
            return 0;
        const double tones = (double(line.F.last()) - double(line.F.first())) / 4.3125 + 1;
        return qint64(std::clamp(tones, 0.0, 1e7)) * 64;
    }
    if (line.K.isEmpty() || line.K.first() < 1 || line.Rmax.isEmpty() || line.Rmin.isEmpty())
        return 0;
    const double bins = (double(line.Rmax.first()) + 8) / line.K.first() * 0.5;
    const double candidates = (double(line.Rmax.first()) - double(line.Rmin.first())) / 64 + 1;
    return qint64(std::clamp(bins, 0.0, 1e7)) * 24 + qint64(std::clamp(candidates, 0.0, 1e7)) * 24;
}

bool carries(float rate, int target)
{
    return double(rate) >= double(target);
}

} // namespace

QString LoopProblem::text() const
{
    return messageLanguage() == MessageLanguage::Russian ? russian : english;
}

bool parseLoopLine(QByteArrayView line, LoopRecord *record, LoopProblem *problem)
{
    *record = LoopRecord();
    if (!validUtf8(line)) {
        record->id = text(firstField(line)).toUtf8();
        if (problem)
            *problem = notUtf8();
        return false;
    }
    Fields f;
    const bool split = splitFields(line, &f, problem);
    record->id = f.id.isNull() ? firstField(line).toByteArray() : f.id.toByteArray();
    if (!split)
        return false;
    qint64 total = 0;
    return parseCable(f.cable, &record->cable, problem) && parseLength(f.length, &record->length, problem)
           && parseSections(f.sections, &record->sections, &total, problem)
           && checkTotal(total, record->length, problem);
}

// ---------------------------------------------------------------------------------------------

namespace {

struct MemoPage {
    ServiceResult at[PageLengths];
    MemoPage()
    {
        for (ServiceResult &r : at)
            r.rate = std::numeric_limits<float>::quiet_NaN(); // not computed yet
    }
};

struct ServiceState {
    std::mutex build;
    std::shared_ptr<const LineRateModel> model;
    std::vector<std::unique_ptr<MemoPage>> pages; // by length / PageLengths; empty until needed
};

// One (cable, sections) combination: a curve per service.
struct Group {
    std::shared_ptr<const CableTemplate> cable;
    QVector<LoopSection> sections;
    std::vector<std::unique_ptr<ServiceState>> services;
    qint64 lastChunk = -1;
    int chunkIndex = -1; // in the current chunk's group list
    int chunkLoops = 0;
    bool keep = false;   // its models and answers outlive the current chunk
    bool live = false;   // listed among the groups holding models or answers

    struct Pending {
        int length;
        int loop;
    };
    std::vector<std::vector<Pending>> pending; // per service, the current chunk's loops to compute
};

// What one line's cable and sections text means.
struct KeyEntry {
    std::optional<LoopProblem> cableProblem;    // the cable field itself
    std::optional<LoopProblem> sectionsProblem; // the sections field itself
    std::optional<LoopProblem> templateProblem; // a template named there cannot be used
    qint64 sectionsTotal = 0;
    std::shared_ptr<Group> group;
};

struct CableEntry {
    std::shared_ptr<const CableTemplate> cable;
    LoopProblem problem; // when cable is null
};

struct Item {
    int group = -1; // in the chunk's group list; -1 refused
    int length = 0;
};

struct Task {
    Group *group;
    int service;
    size_t begin; // range of group->pending[service], whole lengths
    size_t end;
    double cost;
};

} // namespace

struct PlantQualifier::Private {
    QualifySettings settings;
    QString workdir;
    int services = 0;
    QVector<LineTypeTemplate> lineTypes;
    NoiseTemplate noise;
    int m = 1;
    float elfextNorm = 0;
    float nextNorm = 0;
    float margin = 0;

    EmptyTemplates empty;
    int warningsTaken = 0;

    QHash<QString, CableEntry> cables;
    QHash<QByteArray, KeyEntry> rawKeys;
    QHash<QString, std::shared_ptr<Group>> groups;
    std::vector<std::shared_ptr<Group>> live; // groups holding models or answers
    std::atomic<qint64> pages{0};

    // The chunk being gathered.
    qint64 chunkNumber = 0;
    QualifyChunk chunk;
    std::vector<Item> items;
    std::vector<std::shared_ptr<Group>> chunkGroups;
    QByteArray key;

    const std::atomic_bool *cancel = nullptr;
    int threads = 1;
    int keptGroups = MinKeptGroups;
    int budgetGroups = MinKeptGroups; // what the budget for models holds

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }

    CableEntry cableEntry(const QString &name);
    KeyEntry makeKey(QByteArrayView cableField, QByteArrayView sectionsField);
    const KeyEntry &keyEntry(QByteArrayView cableField, QByteArrayView sectionsField);
    void addLine(qint64 line, QByteArrayView bytes, bool truncated);
    void refuseLoop(qint64 line, QByteArrayView id, const LoopProblem &problem);
    bool computeChunk();
    void runTask(const Task &task);
    void remember(Group &group);
    std::shared_ptr<const LineRateModel> model(Group &group, int service);
    void release(Group &group);
    void evict();
};

CableEntry PlantQualifier::Private::cableEntry(const QString &name)
{
    auto it = cables.find(name);
    if (it != cables.end())
        return *it;
    CableEntry entry;
    if (!checkTemplateName(CableAttenuation, name)) {
        entry.problem = inBothLanguages([&] {
            QString error;
            checkTemplateName(CableAttenuation, name, &error);
            return error;
        });
        return *cables.insert(name, entry);
    }
    const QString path = workspacePath(workdir, cableTemplatePath(name));
    if (!QFileInfo::exists(path)) {
        entry.problem = inBothLanguages([&] {
            return localized("unknown cable \"%1\": there is no template %2", "неизвестный кабель «%1»: нет шаблона %2")
                .arg(name, QDir::toNativeSeparators(path));
        });
        return *cables.insert(name, entry);
    }
    auto record = std::make_shared<CableTemplate>();
    QString error;
    if (loadCableTemplate(workdir, name, *record, &error)) {
        empty.check(*record, name);
        entry.cable = std::move(record);
    } else {
        entry.problem = inBothLanguages([&] {
            QString reason;
            CableTemplate again;
            loadCableTemplate(workdir, name, again, &reason);
            return reason;
        });
    }
    return *cables.insert(name, entry);
}

KeyEntry PlantQualifier::Private::makeKey(QByteArrayView cableField, QByteArrayView sectionsField)
{
    KeyEntry entry;
    QString cable;
    LoopProblem problem;
    if (!parseCable(cableField, &cable, &problem)) {
        entry.cableProblem = problem;
        return entry;
    }
    QVector<CableSection> sections;
    if (!parseSections(sectionsField, &sections, &entry.sectionsTotal, &problem)) {
        entry.sectionsProblem = problem;
        return entry;
    }
    // The swept cable first, then the sections in loop order: the first that cannot be used.
    const CableEntry swept = cableEntry(cable);
    if (!swept.cable) {
        entry.templateProblem = swept.problem;
        return entry;
    }
    QString groupKey = cable;
    QVector<LoopSection> loopSections;
    for (const CableSection &s : std::as_const(sections)) {
        const CableEntry e = cableEntry(s.cable);
        if (!e.cable) {
            entry.templateProblem = e.problem;
            return entry;
        }
        loopSections.append(LoopSection{*e.cable, s.length});
        groupKey += QChar(0x1F) + s.cable + QChar(0x1E) + QString::number(s.length);
    }
    std::shared_ptr<Group> &group = groups[groupKey];
    if (!group) {
        group = std::make_shared<Group>();
        group->cable = swept.cable;
        group->sections = loopSections;
        for (int s = 0; s < services; ++s)
            group->services.push_back(std::make_unique<ServiceState>());
        group->pending.resize(size_t(services));
    }
    entry.group = group;
    return entry;
}

const KeyEntry &PlantQualifier::Private::keyEntry(QByteArrayView cableField, QByteArrayView sectionsField)
{
    key.clear();
    key.append(cableField.data(), cableField.size());
    key.append('\n'); // no line holds one
    key.append(sectionsField.data(), sectionsField.size());
    auto it = rawKeys.find(key);
    if (it != rawKeys.end())
        return *it;
    return *rawKeys.insert(key, makeKey(cableField, sectionsField));
}

void PlantQualifier::Private::refuseLoop(qint64 line, QByteArrayView id, const LoopProblem &problem)
{
    QualifiedLoop loop;
    loop.line = line;
    loop.id = validUtf8(id) ? id.toByteArray() : text(id).toUtf8();
    loop.problem = int(chunk.problems.size());
    chunk.problems.append(problem);
    chunk.loops.append(loop);
    items.push_back(Item());
}

void PlantQualifier::Private::addLine(qint64 line, QByteArrayView bytes, bool truncated)
{
    if (truncated)
        return refuseLoop(line, firstField(bytes), tooLong());
    if (!validUtf8(bytes))
        return refuseLoop(line, firstField(bytes), notUtf8());
    Fields f;
    LoopProblem problem;
    if (!splitFields(bytes, &f, &problem))
        return refuseLoop(line, f.id.isNull() ? firstField(bytes) : f.id, problem);
    // The checks in parseLoopLine's order: cable, length, sections, their total; then templates.
    const KeyEntry &entry = keyEntry(f.cable, f.sections);
    if (entry.cableProblem)
        return refuseLoop(line, f.id, *entry.cableProblem);
    int length = 0;
    if (!parseLength(f.length, &length, &problem))
        return refuseLoop(line, f.id, problem);
    if (entry.sectionsProblem)
        return refuseLoop(line, f.id, *entry.sectionsProblem);
    if (!checkTotal(entry.sectionsTotal, length, &problem))
        return refuseLoop(line, f.id, problem);
    if (entry.templateProblem)
        return refuseLoop(line, f.id, *entry.templateProblem);

    Group &group = *entry.group;
    if (group.lastChunk != chunkNumber) {
        group.lastChunk = chunkNumber;
        group.chunkIndex = int(chunkGroups.size());
        group.chunkLoops = 0;
        chunkGroups.push_back(entry.group);
    }
    ++group.chunkLoops;
    QualifiedLoop loop;
    loop.line = line;
    loop.id = f.id.toByteArray();
    chunk.loops.append(loop);
    items.push_back(Item{group.chunkIndex, length});
}

std::shared_ptr<const LineRateModel> PlantQualifier::Private::model(Group &group, int service)
{
    ServiceState &state = *group.services[size_t(service)];
    const std::lock_guard<std::mutex> lock(state.build);
    if (!state.model) {
        const QualifySettings &s = settings;
        state.model = std::make_shared<const LineRateModel>(
            *group.cable, lineTypes.at(service), noise, s.conditions.norm_NEXT_frequency,
            s.conditions.norm_ELFEXT_frequency, group.sections);
    }
    return state.model;
}

void PlantQualifier::Private::runTask(const Task &task)
{
    Group &group = *task.group;
    const int s = task.service;
    const std::vector<Group::Pending> &pending = group.pending[size_t(s)];
    const std::shared_ptr<const LineRateModel> curve = model(group, s);

    std::vector<float> lengths;
    for (size_t i = task.begin; i < task.end; ++i)
        if (lengths.empty() || float(pending[i].length) != lengths.back())
            lengths.push_back(float(pending[i].length));

    std::vector<ServiceResult> answers(lengths.size());
    RateSweep sweep(*curve, m, elfextNorm, nextNorm, {margin});
    sweep.setCancelFlag(cancel);
    for (size_t k = 0; k < lengths.size(); ++k) {
        if (cancelled())
            return;
        sweep.evaluate(lengths[k], &answers[k].rate);
    }
    if (!settings.targets.isEmpty()) {
        // Ascending lengths: a PAM curve's margins resume where the previous length stopped.
        const std::optional<QVector<MarginAtRate>> margins =
            marginsAtRate(*curve, m, elfextNorm, nextNorm, settings.targets.at(s),
                          QVector<float>(lengths.begin(), lengths.end()), cancel);
        if (!margins)
            return;
        for (size_t k = 0; k < lengths.size(); ++k)
            answers[k].margin = margins->at(qsizetype(k));
    }
    if (cancelled())
        return;

    // Each loop's own slot: no two tasks share one.
    const int services = this->services;
    size_t k = 0;
    for (size_t i = task.begin; i < task.end; ++i) {
        while (float(pending[i].length) != lengths[k])
            ++k;
        chunk.results[qsizetype(pending[i].loop) * services + s] = answers[k];
    }
}

void PlantQualifier::Private::remember(Group &group)
{
    const int S = services;
    for (int s = 0; s < S; ++s) {
        ServiceState &state = *group.services[size_t(s)];
        for (const Group::Pending &p : group.pending[size_t(s)]) {
            std::unique_ptr<MemoPage> &page = state.pages[size_t(p.length / PageLengths)];
            if (!page) {
                if (pages.load() >= MaxMemoPages)
                    continue; // the budget is spent: computed again when it comes back
                page = std::make_unique<MemoPage>();
                ++pages;
            }
            page->at[p.length % PageLengths] = chunk.results[qsizetype(p.loop) * S + s];
        }
    }
}

void PlantQualifier::Private::release(Group &group)
{
    for (auto &state : group.services) {
        state->model.reset();
        for (auto &page : state->pages) {
            if (page) {
                page.reset();
                pages.fetch_sub(1);
            }
        }
    }
}

void PlantQualifier::Private::evict()
{
    // Most recently used first; the others give their models and answers back.
    std::stable_sort(live.begin(), live.end(),
                     [](const auto &a, const auto &b) { return a->lastChunk > b->lastChunk; });
    while (live.size() > size_t(keptGroups) || (pages.load() > MaxMemoPages * 3 / 4 && live.size() > 1)) {
        release(*live.back());
        live.back()->live = false;
        live.pop_back();
    }
    if (rawKeys.size() > MaxRawKeys || groups.size() > MaxRawKeys) {
        rawKeys.clear();
        groups.clear();
    }
    if (cables.size() > MaxCables)
        cables.clear();
}

bool PlantQualifier::Private::computeChunk()
{
    const int S = services;
    chunk.results.resize(chunk.loops.size() * S);
    if (chunkGroups.empty())
        return true;

    // The groups with most loops keep their models and answers; with more groups than that in
    // one chunk the rest are built for it alone.
    std::vector<Group *> order;
    for (const auto &g : chunkGroups)
        order.push_back(g.get());
    std::stable_sort(order.begin(), order.end(), [](Group *a, Group *b) { return a->chunkLoops > b->chunkLoops; });
    for (size_t i = 0; i < order.size(); ++i) {
        Group &g = *order[i];
        g.keep = i < size_t(keptGroups);
        if (g.keep && !g.live) {
            g.live = true;
            live.push_back(chunkGroups[size_t(g.chunkIndex)]);
        }
        if (g.keep)
            for (auto &state : g.services)
                if (state->pages.empty())
                    state->pages.resize(size_t(PagesPerService));
    }

    // Remembered answers first; the rest waits for the threads.
    for (size_t i = 0; i < items.size(); ++i) {
        const Item &item = items[i];
        if (item.group < 0)
            continue;
        Group &g = *chunkGroups[size_t(item.group)];
        for (int s = 0; s < S; ++s) {
            if (g.keep) {
                const std::unique_ptr<MemoPage> &page = g.services[size_t(s)]->pages[size_t(item.length / PageLengths)];
                if (page) {
                    const ServiceResult &known = page->at[item.length % PageLengths];
                    if (!std::isnan(known.rate)) {
                        chunk.results[qsizetype(i) * S + s] = known;
                        continue;
                    }
                }
            }
            g.pending[size_t(s)].push_back({item.length, int(i)});
        }
    }

    std::vector<Task> tasks;
    size_t distinct = 0;
    for (Group *g : order) {
        for (int s = 0; s < S; ++s) {
            auto &pending = g->pending[size_t(s)];
            if (pending.empty())
                continue;
            std::sort(pending.begin(), pending.end(),
                      [](const Group::Pending &a, const Group::Pending &b) { return a.length < b.length; });
            for (size_t i = 0; i < pending.size(); ++i)
                if (i == 0 || pending[i].length != pending[i - 1].length)
                    ++distinct;
        }
    }
    // Pieces small enough to spread over the threads; a piece is whole lengths, ascending.
    const size_t piece = std::max<size_t>(256, distinct / size_t(8 * threads) + 1);
    for (Group *g : order) {
        for (int s = 0; s < S; ++s) {
            const auto &pending = g->pending[size_t(s)];
            if (pending.empty())
                continue;
            // A PAM search costs many DMT evaluations; the estimate only orders the work.
            const double weight = lineTypes.at(s).kind == LineTypeDmt ? 1.0 : 8.0;
            size_t begin = 0;
            size_t lengths = 0;
            for (size_t i = 0; i < pending.size(); ++i) {
                const bool fresh = i == 0 || pending[i].length != pending[i - 1].length;
                // Groups built for this chunk alone are never split: their model is freed after.
                if (fresh && lengths == piece && g->keep) {
                    tasks.push_back({g, s, begin, i, weight * double(lengths)});
                    begin = i;
                    lengths = 0;
                }
                lengths += fresh ? 1 : 0;
            }
            tasks.push_back({g, s, begin, pending.size(), weight * double(lengths)});
        }
    }
    std::stable_sort(tasks.begin(), tasks.end(), [](const Task &a, const Task &b) { return a.cost > b.cost; });

    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t t = next.fetch_add(1); t < tasks.size(); t = next.fetch_add(1)) {
            if (cancelled())
                return;
            runTask(tasks[t]);
            if (!tasks[t].group->keep)
                tasks[t].group->services[size_t(tasks[t].service)]->model.reset();
        }
    };
    const int helpers = std::min<int>(threads, int(tasks.size())) - 1;
    std::vector<std::thread> workers;
    for (int i = 0; i < helpers; ++i)
        workers.emplace_back(work);
    work();
    for (std::thread &t : workers)
        t.join();

    const bool done = !cancelled();
    for (Group *g : order) {
        if (done && g->keep)
            remember(*g);
        for (auto &pending : g->pending) {
            pending.clear();
            if (pending.capacity() > 4096)
                std::vector<Group::Pending>().swap(pending);
        }
    }
    return done;
}

PlantQualifier::PlantQualifier(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

PlantQualifier::~PlantQualifier() = default;

std::unique_ptr<PlantQualifier> PlantQualifier::create(const QualifySettings &settings, const QString &workdir,
                                                       QString *error)
{
    if (!CalcInput::validateLoopConditions(settings.conditions, settings.targets, runFieldName, error))
        return nullptr;
    auto p = std::make_unique<Private>();
    p->settings = settings;
    p->workdir = workdir;
    const CalcSettings &c = settings.conditions;
    p->services = c.lineTypes.size();
    for (const QString &name : c.lineTypes) {
        LineTypeTemplate line;
        if (!loadLineTypeTemplate(workdir, name, line, error))
            return nullptr;
        p->empty.check(line, name);
        p->lineTypes.append(line);
    }
    if (!loadNoiseTemplate(workdir, c.noiseTemplate, p->noise, error))
        return nullptr;
    p->empty.check(p->noise, c.noiseTemplate);
    qint64 groupBytes = 0;
    for (const LineTypeTemplate &line : std::as_const(p->lineTypes))
        groupBytes += modelBytes(line);
    p->budgetGroups = int(std::clamp<qint64>(MaxKeptModelBytes / std::max<qint64>(groupBytes, 1), MinKeptGroups,
                                           MaxKeptGroups));
    p->m = c.xDSL_points.first();
    p->elfextNorm = c.Norm_ELFEXT_points.first();
    p->nextNorm = c.Norm_NEXT_points.first();
    p->margin = c.SNRMargin_points.first();
    return std::unique_ptr<PlantQualifier>(new PlantQualifier(std::move(p)));
}

const QualifySettings &PlantQualifier::settings() const
{
    return d->settings;
}

int PlantQualifier::services() const
{
    return d->services;
}

QStringList PlantQualifier::takeWarnings()
{
    const QStringList all = d->empty.warnings();
    const QStringList fresh = all.mid(d->warningsTaken);
    d->warningsTaken = all.size();
    return fresh;
}

bool PlantQualifier::run(QIODevice &input, const std::function<bool(const QualifyChunk &)> &sink,
                         QString *error, const QualifyOptions &options)
{
    Private &p = *d;
    p.cancel = options.cancel;
    p.chunk = QualifyChunk();
    p.items.clear();
    p.chunkGroups.clear();
    ++p.chunkNumber;
    p.threads = options.threads > 0 ? options.threads : std::max(1, QThread::idealThreadCount());
    p.keptGroups = options.keptGroups > 0 ? options.keptGroups : p.budgetGroups;

    const auto cancelledError = [error] {
        return fail(error, localized("The qualification was cancelled", "Проверка линий отменена"));
    };
    const qsizetype chunkLoops = options.chunkLoops > 0 ? options.chunkLoops : ChunkLoops;
    qint64 consumed = 0;
    const auto flush = [&]() -> int {
        if (p.chunk.loops.isEmpty())
            return 1;
        if (!p.computeChunk())
            return -1;
        const bool accepted = sink(p.chunk);
        p.chunk = QualifyChunk();
        p.items.clear();
        p.chunkGroups.clear();
        ++p.chunkNumber;
        p.evict();
        if (!accepted)
            return 0;
        if (options.progress)
            options.progress(consumed);
        return 1;
    };

    qint64 lineNumber = 0;
    QByteArray partial;     // the start of a line the last block did not finish
    bool truncated = false; // that line is longer than a line may be; the rest is dropped
    const auto line = [&](QByteArrayView bytes) {
        ++lineNumber;
        // The header, a byte-order mark in front of it included, says whatever it says.
        if (lineNumber == 1)
            return;
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (!truncated && isBlankLine(bytes))
            return;
        p.addLine(lineNumber, bytes, truncated);
    };

    QByteArray block(ReadBlock, Qt::Uninitialized);
    for (;;) {
        if (p.cancelled())
            return cancelledError();
        const qint64 n = input.read(block.data(), ReadBlock);
        if (n < 0)
            return fail(error, localized("Cannot read the loop records: %1", "Не удаётся прочитать записи линий: %1")
                                   .arg(input.errorString()));
        if (n == 0) {
            // A pipe read through QFile blocks until data or its end; other sequential devices
            // may merely have nothing yet.
            if (input.isSequential() && input.waitForReadyRead(-1))
                continue;
            break;
        }
        consumed += n;
        const char *data = block.constData();
        qsizetype pos = 0;
        while (pos < n) {
            const char *nl = static_cast<const char *>(std::memchr(data + pos, '\n', size_t(n - pos)));
            const qsizetype end = nl ? qsizetype(nl - data) : qsizetype(n);
            const QByteArrayView piece(data + pos, end - pos);
            if (!truncated) {
                const qsizetype room = MaxLineBytes - partial.size();
                if (piece.size() > room) {
                    partial.append(piece.first(room).data(), room);
                    truncated = true;
                } else if (!partial.isEmpty() || !nl) {
                    partial.append(piece.data(), piece.size());
                }
            }
            if (!nl)
                break;
            line(partial.isEmpty() && !truncated ? piece : QByteArrayView(partial));
            partial.clear();
            truncated = false;
            pos = end + 1;
            if (p.chunk.loops.size() >= chunkLoops) {
                const int state = flush();
                if (state < 0)
                    return cancelledError();
                if (state == 0)
                    return false;
            }
        }
    }
    if (!partial.isEmpty() || truncated)
        line(partial);
    const int state = flush();
    if (state < 0)
        return cancelledError();
    return state > 0;
}

// ---------------------------------------------------------------------------------------------

QualifyWriter::QualifyWriter(const QualifySettings &settings)
    : m_settings(settings), m_margins(HighestTenths - LowestTenths + 3)
{
    m_header = headers(settings).join(QLatin1Char(';')).toUtf8() + ";\n";
}

QStringList QualifyWriter::headers(const QualifySettings &settings)
{
    QStringList out{QStringLiteral("id")};
    const bool targets = !settings.targets.isEmpty();
    for (const QString &line : settings.conditions.lineTypes) {
        out << QStringLiteral("R,кбит/с %1").arg(line);
        if (targets)
            out << QStringLiteral("SNR Margin,дБ %1").arg(line) << QStringLiteral("Годна %1").arg(line);
    }
    out << QStringLiteral("Ошибка");
    return out;
}

QByteArray QualifyWriter::header() const
{
    return m_header;
}

QByteArray QualifyWriter::rateText(float rate)
{
    quint32 bits;
    std::memcpy(&bits, &rate, sizeof bits);
    auto it = m_rates.constFind(bits);
    if (it != m_rates.constEnd())
        return *it;
    if (m_rates.size() > 65536)
        m_rates.clear();
    // Exactly as the result table's CSV writes a float.
    QByteArray out;
    QTextStream stream(&out);
    stream << rate;
    stream.flush();
    m_rates.insert(bits, out);
    return out;
}

QByteArray QualifyWriter::marginField(const MarginAtRate &margin)
{
    const int index = marginIndex(margin);
    if (index < 0)
        return marginText(margin).toUtf8();
    QByteArray &cached = m_margins[index];
    if (cached.isEmpty())
        cached = marginText(margin).toUtf8();
    return cached;
}

bool QualifyWriter::qualifies(int service, float rate) const
{
    return service < m_settings.targets.size() && carries(rate, m_settings.targets.at(service));
}

QByteArray QualifyWriter::verdictText(bool qualifies)
{
    return qualifies ? QByteArrayLiteral("да") : QByteArrayLiteral("нет");
}

QByteArray QualifyWriter::problemField(const LoopProblem &problem)
{
    QString text = problem.russian;
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toUtf8();
}

void QualifyWriter::append(QByteArray &out, const QualifiedLoop &loop, const ServiceResult *results,
                           const LoopProblem *problem)
{
    out += loop.id;
    out += ';';
    const int services = m_settings.conditions.lineTypes.size();
    const bool targets = !m_settings.targets.isEmpty();
    if (problem) {
        for (int s = 0; s < services; ++s)
            out += targets ? ";;;" : ";";
        out += problemField(*problem);
        out += ";\n";
        return;
    }
    for (int s = 0; s < services; ++s) {
        const ServiceResult &r = results[s];
        out += rateText(r.rate);
        out += ';';
        if (targets) {
            out += marginField(r.margin);
            out += ';';
            out += verdictText(qualifies(s, r.rate));
            out += ';';
        }
    }
    out += ";\n";
}

void QualifyTable::append(const QualifyChunk &chunk)
{
    const int offset = problems.size();
    loops.reserve(loops.size() + chunk.loops.size());
    for (QualifiedLoop loop : chunk.loops) {
        if (loop.problem >= 0)
            loop.problem += offset;
        loops.append(loop);
    }
    results += chunk.results;
    problems += chunk.problems;
}

qint64 QualifyTable::refused() const
{
    return problems.size();
}

qint64 QualifyTable::qualified(int service) const
{
    if (service >= settings.targets.size())
        return 0;
    const int S = services();
    const int target = settings.targets.at(service);
    qint64 n = 0;
    for (qsizetype i = 0; i < loops.size(); ++i)
        if (loops.at(i).problem < 0 && carries(results.at(i * S + service).rate, target))
            ++n;
    return n;
}

bool writeQualifyTable(QIODevice &out, const QualifyTable &table)
{
    QualifyWriter writer(table.settings);
    QByteArray block = writer.header();
    const int S = table.services();
    const auto put = [&out, &block] {
        const bool written = out.write(block) == block.size();
        block.clear();
        return written;
    };
    for (qsizetype i = 0; i < table.loops.size(); ++i) {
        const QualifiedLoop &loop = table.loops.at(i);
        writer.append(block, loop, table.results.constData() + i * S,
                      loop.problem >= 0 ? &table.problems.at(loop.problem) : nullptr);
        if (block.size() >= ReadBlock && !put())
            return false;
    }
    return put();
}
