#include "engine/plantqualifier.h"

#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/curveset.h"
#include "engine/fileread.h"
#include "engine/lineratemodel.h"
#include "engine/loss.h"
#include "engine/messages.h"
#include "engine/sweep.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QDir>
#include <QHash>
#include <QIODevice>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr int ChunkLoops = 16384;
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
    LoopPlan plan;
    std::shared_ptr<const CableTemplate> cable;
    QVector<LoopSection> sections;
    std::vector<std::unique_ptr<ServiceState>> services;
    std::optional<LossConversion> conversion; // for loops given by their loss, made once asked
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
    qint64 cost; // an estimate, in evaluations of a DMT curve
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
    ModelOptions options; // the same for every loop and service

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
    std::function<void(qint64)> progress;
    qint64 chunkFrom = 0; // input bytes before the chunk's loops and after them
    qint64 chunkTo = 0;
    int threads = 1;
    int keptGroups = MinKeptGroups;
    int budgetGroups = MinKeptGroups; // what the budget for models holds

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }

    CableEntry cableEntry(const QString &name);
    KeyEntry makeKey(QByteArrayView cableField, QByteArrayView sectionsField);
    const KeyEntry &keyEntry(QByteArrayView cableField, QByteArrayView sectionsField);
    void addLine(const LoopRecordsReader::Line &line, LoopTextEncoding encoding);
    void refuseLoop(qint64 line, const QByteArray &id, const LoopProblem &problem);
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
    if (pathLookupError(path) == ENOENT) {
        entry.problem = inBothLanguages([&] {
            return localized("unknown cable \"%1\": there is no template %2", "неизвестный кабель «%1»: нет шаблона %2")
                .arg(name, QDir::toNativeSeparators(path));
        });
        return *cables.insert(name, entry);
    }
    // A link in a loop, a pipe, a directory: said as it is, never as a missing template.
    if (!fileReadProblem(path).isEmpty()) {
        entry.problem = inBothLanguages([&] {
            return localized("cable \"%1\": cannot read %2: %3", "кабель «%1»: не удаётся прочитать %2: %3")
                .arg(name, QDir::toNativeSeparators(path), fileReadProblem(path));
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
    if (!parseLoopCable(cableField, &cable, &problem)) {
        entry.cableProblem = problem;
        return entry;
    }
    QVector<CableSection> sections;
    if (!parseLoopSections(sectionsField, &sections, &entry.sectionsTotal, &problem)) {
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
        group->plan = LoopPlan{cable, sections};
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

void PlantQualifier::Private::refuseLoop(qint64 line, const QByteArray &id, const LoopProblem &problem)
{
    QualifiedLoop loop;
    loop.line = line;
    loop.id = id;
    loop.problem = int(chunk.problems.size());
    chunk.problems.append(problem);
    chunk.loops.append(loop);
    items.push_back(Item());
}

void PlantQualifier::Private::addLine(const LoopRecordsReader::Line &line, LoopTextEncoding encoding)
{
    if (line.tooLong)
        return refuseLoop(line.number, loopIdShown(line.bytes), loopLineTooLong());
    LoopFields f;
    LoopProblem problem;
    if (!splitLoopLine(line.bytes, &f, &problem, encoding))
        return refuseLoop(line.number, loopIdShown(line.bytes), problem);
    const QByteArray id = f.id.toByteArray();
    // The checks in parseLoopLine's order: cable, length, sections, their total; then templates.
    const KeyEntry &entry = keyEntry(f.cable, f.sections);
    if (entry.cableProblem)
        return refuseLoop(line.number, id, *entry.cableProblem);
    int length = 0;
    int loss = -1;
    if (isLoopLoss(f.length) ? !parseLoopLoss(f.length, &loss, &problem) : !parseLoopLength(f.length, &length, &problem))
        return refuseLoop(line.number, id, problem);
    if (entry.sectionsProblem)
        return refuseLoop(line.number, id, *entry.sectionsProblem);
    if (loss < 0 && !checkSectionsFitLoop(entry.sectionsTotal, length, &problem))
        return refuseLoop(line.number, id, problem);
    if (entry.templateProblem)
        return refuseLoop(line.number, id, *entry.templateProblem);

    Group &group = *entry.group;
    if (loss >= 0) {
        // The loop's own cable and sections turn its loss into its length.
        if (!group.conversion)
            group.conversion.emplace(*group.cable, group.sections, settings.conditions.lossFrequency);
        const std::optional<int> converted = group.conversion->length(lossValue(loss));
        if (!converted)
            return refuseLoop(line.number, id, inBothLanguages([&] {
                                  QString why;
                                  group.conversion->length(lossValue(loss), &why);
                                  return why;
                              }));
        length = *converted;
    }
    if (group.lastChunk != chunkNumber) {
        group.lastChunk = chunkNumber;
        group.chunkIndex = int(chunkGroups.size());
        group.chunkLoops = 0;
        chunkGroups.push_back(entry.group);
    }
    ++group.chunkLoops;
    QualifiedLoop loop;
    loop.line = line.number;
    loop.id = id;
    loop.plan = group.chunkIndex;
    loop.length = length;
    loop.loss = loss;
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
    RateSweep sweep(*curve, m, elfextNorm, nextNorm, {margin}, options);
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
                          QVector<float>(lengths.begin(), lengths.end()), cancel, options);
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
    chunk.plans.reserve(qsizetype(chunkGroups.size()));
    for (const auto &g : chunkGroups)
        chunk.plans.append(g->plan);
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
            const qint64 weight = lineTypes.at(s).kind == LineTypeDmt ? 1 : 8;
            size_t begin = 0;
            size_t lengths = 0;
            for (size_t i = 0; i < pending.size(); ++i) {
                const bool fresh = i == 0 || pending[i].length != pending[i - 1].length;
                // Groups built for this chunk alone are never split: their model is freed after.
                if (fresh && lengths == piece && g->keep) {
                    tasks.push_back({g, s, begin, i, weight * qint64(lengths)});
                    begin = i;
                    lengths = 0;
                }
                lengths += fresh ? 1 : 0;
            }
            tasks.push_back({g, s, begin, pending.size(), weight * qint64(lengths)});
        }
    }
    std::stable_sort(tasks.begin(), tasks.end(), [](const Task &a, const Task &b) { return a.cost > b.cost; });

    qint64 total = 0;
    for (const Task &task : tasks)
        total += task.cost;
    std::atomic<size_t> next{0};
    std::atomic<qint64> costDone{0};
    // The calling thread tells the progress: a chunk can be the whole file.
    const auto work = [&](bool reports) {
        for (size_t t = next.fetch_add(1); t < tasks.size(); t = next.fetch_add(1)) {
            if (cancelled())
                return;
            runTask(tasks[t]);
            if (!tasks[t].group->keep)
                tasks[t].group->services[size_t(tasks[t].service)]->model.reset();
            const qint64 done = costDone += tasks[t].cost;
            if (reports && progress && total > 0)
                progress(chunkFrom + qint64(double(chunkTo - chunkFrom) * double(done) / double(total)));
        }
    };
    const int helpers = std::min<int>(threads, int(tasks.size())) - 1;
    std::vector<std::thread> workers;
    for (int i = 0; i < helpers; ++i)
        workers.emplace_back(work, false);
    work(true);
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
    p->options = modelOptions(c);
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
    p.progress = options.progress;
    p.chunk = QualifyChunk();
    p.items.clear();
    p.chunkGroups.clear();
    ++p.chunkNumber;
    p.chunkFrom = 0;
    p.threads = options.threads > 0 ? options.threads : std::max(1, QThread::idealThreadCount());
    p.keptGroups = options.keptGroups > 0 ? options.keptGroups : p.budgetGroups;

    const auto cancelledError = [error] {
        return fail(error, localized("The qualification was cancelled", "Проверка линий отменена"));
    };
    const qsizetype chunkLoops = options.chunkLoops > 0 ? options.chunkLoops : ChunkLoops;
    LoopRecordsReader reader(input);
    // 1 handed over, 0 the sink declined, -1 cancelled.
    const auto flush = [&]() -> int {
        if (p.chunk.loops.isEmpty())
            return 1;
        p.chunkTo = reader.bytesRead();
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
            options.progress(p.chunkTo);
        p.chunkFrom = p.chunkTo;
        return 1;
    };

    LoopRecordsReader::Line line;
    for (;;) {
        if (p.cancelled())
            return cancelledError();
        if (!reader.next(&line))
            break;
        p.addLine(line, reader.encoding());
        if (p.chunk.loops.size() >= chunkLoops) {
            const int state = flush();
            if (state <= 0)
                return state < 0 ? cancelledError() : false;
        }
    }
    if (!reader.error().isEmpty())
        return fail(error, reader.error());
    const int state = flush();
    if (state < 0)
        return cancelledError();
    return state > 0;
}
