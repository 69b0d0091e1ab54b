// history.cpp: undo and redo of the document. The history keeps a copy of the
// document as the last step left it; recording a step compares the mesh with
// that copy and keeps only the records that differ. Applying a step swaps its
// records with the mesh's, so one step holds one side of a change at a time:
// the old records while it can be undone, the new ones while it can be redone.
#include <algorithm>
#include <bit>

#include "mesh/mesh.h"

namespace {

// Runs of differing records closer than this become one patch: a few equal
// records cost less than the bookkeeping of another patch.
constexpr size_t mergeGap = 8;

bool sameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

// What the saved file holds of a vertex: its position.
bool sameContent(const Vertex& a, const Vertex& b) { return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z); }

bool sameContent(const Triangle& a, const Triangle& b)
{
    for (size_t k = 0; k < 3; ++k)
        if (a.vertexIndex[k] != b.vertexIndex[k] || !sameBits(a.u[k], b.u[k]) || !sameBits(a.v[k], b.v[k]))
            return false;
    return true;
}

// The document is everything but the Texture window's vertex marks.
template <typename Record>
bool sameRecord(const Record& a, const Record& b)
{
    return a.selected == b.selected && sameContent(a, b);
}

void keepMarks(std::vector<Triangle>&, const LargeList<Triangle>&, size_t) {}

// Restored vertices keep the marks of the records they replace position for
// position; the marks show the Texture window's focus, not a past state.
void keepMarks(std::vector<Vertex>& restored, const LargeList<Vertex>& list, size_t position)
{
    for (size_t i = 0; i < restored.size(); ++i)
        restored[i].marked = position + i < list.size() ? list[position + i].marked : 0;
}

// The patches that turn `now` back into `before`, and whether any of them
// changes more than the selection.
template <typename Record>
std::vector<ListPatch<Record>> diffList(const LargeList<Record>& before, const LargeList<Record>& now,
                                        bool& changesContent)
{
    std::vector<ListPatch<Record>> patches;
    if (before.size() != now.size()) {
        // One range between the common start and the common end.
        const size_t shorter = std::min(before.size(), now.size());
        size_t head = 0;
        while (head < shorter && sameRecord(before[head], now[head])) ++head;
        size_t tail = 0;
        while (tail < shorter - head &&
               sameRecord(before[before.size() - 1 - tail], now[now.size() - 1 - tail]))
            ++tail;
        ListPatch<Record> p;
        p.position = head;
        p.count = now.size() - head - tail;
        p.records.assign(before.begin() + static_cast<std::ptrdiff_t>(head),
                         before.end() - static_cast<std::ptrdiff_t>(tail));
        patches.push_back(std::move(p));
        changesContent = true;
        return patches;
    }
    for (size_t i = 0; i < now.size(); ++i) {
        if (sameRecord(before[i], now[i])) continue;
        size_t end = i + 1;
        for (size_t j = i; j < now.size() && j < end + mergeGap; ++j) {
            if (!sameRecord(before[j], now[j])) {
                end = j + 1;
                changesContent = changesContent || !sameContent(before[j], now[j]);
            }
        }
        ListPatch<Record> p;
        p.position = i;
        p.count = end - i;
        p.records.assign(before.begin() + static_cast<std::ptrdiff_t>(i),
                         before.begin() + static_cast<std::ptrdiff_t>(end));
        patches.push_back(std::move(p));
        i = end - 1;
    }
    return patches;
}

// Puts the patch's records into the list (and the recorded copy) and keeps the
// ones they replace in the patch, so applying it again reverses it.
template <typename Record>
void swapPatch(ListPatch<Record>& p, LargeList<Record>& list, LargeList<Record>& recorded)
{
    const auto from = static_cast<std::ptrdiff_t>(p.position);
    const auto to = static_cast<std::ptrdiff_t>(p.position + p.count);
    std::vector<Record> taken(list.begin() + from, list.begin() + to);
    keepMarks(p.records, list, p.position);
    if (p.count == p.records.size()) {
        std::copy(p.records.begin(), p.records.end(), list.begin() + from);
        std::copy(p.records.begin(), p.records.end(), recorded.begin() + from);
    } else {
        list.erase(list.begin() + from, list.begin() + to);
        list.insert(list.begin() + from, p.records.begin(), p.records.end());
        recorded.erase(recorded.begin() + from, recorded.begin() + to);
        recorded.insert(recorded.begin() + from, p.records.begin(), p.records.end());
    }
    p.count = p.records.size();
    p.records = std::move(taken);
}

// Replaces the patch's old records in `target` with the `count` records of
// `source` at the same position.
template <typename Record>
void copyRange(const ListPatch<Record>& p, const LargeList<Record>& source, LargeList<Record>& target)
{
    const auto from = static_cast<std::ptrdiff_t>(p.position);
    const auto newEnd = static_cast<std::ptrdiff_t>(p.position + p.count);
    if (p.count == p.records.size()) {
        std::copy(source.begin() + from, source.begin() + newEnd, target.begin() + from);
        return;
    }
    target.erase(target.begin() + from, target.begin() + from + static_cast<std::ptrdiff_t>(p.records.size()));
    target.insert(target.begin() + from, source.begin() + from, source.begin() + newEnd);
}

template <typename Record>
size_t patchBytes(const std::vector<ListPatch<Record>>& patches)
{
    size_t bytes = 0;
    for (const ListPatch<Record>& p : patches) bytes += sizeof(p) + p.records.size() * sizeof(Record);
    return bytes;
}

size_t stepBytes(const HistoryStep& step)
{
    return sizeof(step) + patchBytes(step.vertices) + patchBytes(step.triangles) + step.fileName.size();
}

// Absolute position: steps dropped at the bottom count too, so a saved
// position stays meaningful when old steps go.
int64_t position(const MeshHistory& h) { return h.dropped + static_cast<int64_t>(h.cursor); }

// True when a step between the two absolute positions changes content.
bool contentChangesBetween(const MeshHistory& h, int64_t a, int64_t b)
{
    for (int64_t i = std::min(a, b); i < std::max(a, b); ++i)
        if (h.steps[static_cast<size_t>(i - h.dropped)].changesContent) return true;
    return false;
}

void applyStep(MeshHistory& h, HistoryStep& step, Mesh& mesh, std::string& fileName)
{
    h.bytes -= step.bytes;
    // Size-changing patches come alone, so the order of equal-size ones is free.
    for (ListPatch<Vertex>& p : step.vertices) swapPatch(p, mesh.vertices, h.recorded.vertices);
    for (ListPatch<Triangle>& p : step.triangles) swapPatch(p, mesh.triangles, h.recorded.triangles);
    std::swap(mesh.pendingCorner, step.pendingCorner);
    h.recorded.pendingCorner = mesh.pendingCorner;
    if (step.renames) std::swap(fileName, step.fileName);
    h.recordedFileName = fileName;
    step.bytes = stepBytes(step);
    h.bytes += step.bytes;
}

void dropOldestStep(MeshHistory& h)
{
    const HistoryStep& oldest = h.steps.front();
    // A saved state below the dropped step can only be reached again when the
    // step changed nothing that is saved.
    for (auto& [name, at] : h.savedAt)
        if (at == h.dropped) at = oldest.changesContent ? -1 : h.dropped + 1;
    h.bytes -= oldest.bytes;
    h.steps.pop_front();
    h.dropped += 1;
    h.cursor -= 1;
}

}  // namespace

void resetHistory(MeshHistory& h, const Mesh& mesh, const std::string& fileName)
{
    h.recorded = mesh;
    h.recordedFileName = fileName;
    h.steps.clear();
    h.cursor = 0;
    h.bytes = 0;
    h.dropped = 0;
    h.savedAt = {{fileName, 0}};
}

bool recordStep(MeshHistory& h, const Mesh& mesh, const std::string& fileName)
{
    HistoryStep step;
    bool content = false;
    step.vertices = diffList(h.recorded.vertices, mesh.vertices, content);
    step.triangles = diffList(h.recorded.triangles, mesh.triangles, content);
    const bool cornerChanged = h.recorded.pendingCorner != mesh.pendingCorner;
    step.renames = h.recordedFileName != fileName;
    if (step.vertices.empty() && step.triangles.empty() && !cornerChanged && !step.renames) return false;
    step.changesContent = content || cornerChanged;
    step.pendingCorner = h.recorded.pendingCorner;
    if (step.renames) step.fileName = h.recordedFileName;
    step.bytes = stepBytes(step);

    // A new change drops the steps that could be redone.
    const int64_t here = position(h);
    for (auto& [name, at] : h.savedAt)
        if (at > here) at = contentChangesBetween(h, here, at) ? -1 : here;
    for (size_t i = h.cursor; i < h.steps.size(); ++i) h.bytes -= h.steps[i].bytes;
    h.steps.erase(h.steps.begin() + static_cast<std::ptrdiff_t>(h.cursor), h.steps.end());

    // Bring the copy up to date where the step says it differs.
    for (const ListPatch<Vertex>& p : step.vertices) copyRange(p, mesh.vertices, h.recorded.vertices);
    for (const ListPatch<Triangle>& p : step.triangles) copyRange(p, mesh.triangles, h.recorded.triangles);
    h.recorded.pendingCorner = mesh.pendingCorner;
    h.recordedFileName = fileName;

    h.bytes += step.bytes;
    h.steps.push_back(std::move(step));
    h.cursor = h.steps.size();
    // The newest step stays even when it alone passes the limit.
    while (h.bytes > h.byteLimit && h.steps.size() > 1) dropOldestStep(h);
    return true;
}

bool canUndo(const MeshHistory& h) { return h.cursor > 0; }

bool canRedo(const MeshHistory& h) { return h.cursor < h.steps.size(); }

bool undoStep(MeshHistory& h, Mesh& mesh, std::string& fileName)
{
    recordStep(h, mesh, fileName);
    if (!canUndo(h)) return false;
    h.cursor -= 1;
    applyStep(h, h.steps[h.cursor], mesh, fileName);
    return true;
}

bool redoStep(MeshHistory& h, Mesh& mesh, std::string& fileName)
{
    if (recordStep(h, mesh, fileName) || !canRedo(h)) return false;
    applyStep(h, h.steps[h.cursor], mesh, fileName);
    h.cursor += 1;
    return true;
}

void renameDocument(MeshHistory& h, const std::string& fileName) { h.recordedFileName = fileName; }

void markSaved(MeshHistory& h, const std::string& fileName)
{
    h.recordedFileName = fileName;
    h.savedAt[fileName] = position(h);
}

bool isModified(const MeshHistory& h)
{
    const auto saved = h.savedAt.find(h.recordedFileName);
    return saved == h.savedAt.end() || saved->second < 0 || contentChangesBetween(h, saved->second, position(h));
}
