#include "viewer/FormMagnet.h"

#include <chrono>
#include <cstdlib>

namespace ocelis {

namespace {

enum class Edge { Left, Right, Top, Bottom };

bool In(int64_t x, int64_t a, int64_t b) {
    return a <= x && x <= b;
}

int64_t& StampOf(MagnetStamps& s, Edge e) {
    switch (e) {
    case Edge::Left:
        return s.left;
    case Edge::Right:
        return s.right;
    case Edge::Top:
        return s.top;
    case Edge::Bottom:
        break;
    }
    return s.bottom;
}

// Moves r as a whole so that the given edge lies at pos; stamps that edge.
void Place(MagnetRect& r, MagnetStamps& stamps, Edge edge, int64_t pos, int64_t now) {
    const int32_t w = r.width(), h = r.height();
    const auto p = static_cast<int32_t>(pos);
    switch (edge) {
    case Edge::Left:
        r.left = p;
        r.right = p + w;
        break;
    case Edge::Right:
        r.right = p;
        r.left = p - w;
        break;
    case Edge::Top:
        r.top = p;
        r.bottom = p + h;
        break;
    case Edge::Bottom:
        r.bottom = p;
        r.top = p - h;
        break;
    }
    StampOf(stamps, edge) = now;
}

bool Fresh(int64_t stamp, int64_t now) {
    return std::llabs(now - stamp) <= kMagnetFreshMs;
}

// One axis. "near"/"far" are the low/high edges (left/right or top/bottom), dNear/dFar the
// distances of P from them (positive inside), lo/hi the work area's coordinates there.
// The rules of the two directions are not mirror images (moving down differs from moving
// up), so each direction is written out as it stands.
void MoveTowardLow(MagnetRect& r, MagnetStamps& st, Edge nearE, Edge farE, int64_t dNear,
                   int64_t dFar, int64_t lo, int64_t hi, int64_t a, int64_t now) {
    if (!Fresh(StampOf(st, nearE), now)) {
        if (In(dNear, 2, a) || std::llabs(dNear) == 1)
            Place(r, st, nearE, lo, now);
        else if (In(dNear, -a, -2))
            Place(r, st, nearE, lo - a, now);
        else if (In(dFar, 2, a))
            Place(r, st, farE, hi - a, now);
        else if (In(std::llabs(dFar), 1, a))
            Place(r, st, farE, hi, now);
    } else {
        if (std::llabs(dNear) < a)
            Place(r, st, nearE, lo, now);
        else if (std::llabs(dFar) < a)
            Place(r, st, farE, hi, now);
    }
}

void MoveRight(MagnetRect& r, MagnetStamps& st, int64_t dL, int64_t dR, const MagnetRect& wa,
               int64_t a, int64_t now) {
    if (!Fresh(st.right, now)) {
        if (In(dR, 2, a) || std::llabs(dR) == 1)
            Place(r, st, Edge::Right, wa.right, now);
        else if (In(dR, -a, -2))
            Place(r, st, Edge::Right, wa.right + a, now);
        else if (In(dL, -a, -2))
            Place(r, st, Edge::Left, wa.left, now);
        else if (In(std::llabs(dL), 1, a))
            Place(r, st, Edge::Left, wa.left + a, now);
    } else {
        if (std::llabs(dR) < a)
            Place(r, st, Edge::Right, wa.right, now);
        else if (std::llabs(dL) < a)
            Place(r, st, Edge::Left, wa.left, now);
    }
}

void MoveDown(MagnetRect& r, MagnetStamps& st, int64_t dT, int64_t dB, const MagnetRect& wa,
              int64_t a, int64_t now) {
    if (!Fresh(st.bottom, now)) {
        if (In(dT, 2, a))
            Place(r, st, Edge::Top, wa.top + a, now);
        else if (std::llabs(dT) < a)
            Place(r, st, Edge::Top, wa.top, now);
        else if (In(dB, 2, a))
            Place(r, st, Edge::Bottom, wa.bottom, now);
        else if (In(std::llabs(dB), 1, a))
            Place(r, st, Edge::Bottom, wa.bottom + a, now);
    } else {
        if (std::llabs(dT) < a)
            Place(r, st, Edge::Top, wa.top, now);
        else if (std::llabs(dB) < a)
            Place(r, st, Edge::Bottom, wa.bottom + a, now);
    }
}

} // namespace

MagnetResult SnapToWorkArea(const MagnetRect& current, const MagnetRect& proposed,
                            const MagnetRect& workArea, int64_t nowMs, const MagnetStamps& stamps,
                            int32_t area) {
    MagnetResult res{proposed, stamps};
    const int64_t a = area;
    // Distances of the proposed rectangle from the edges, positive inside.
    const int64_t dL = int64_t{proposed.left} - workArea.left;
    const int64_t dR = int64_t{workArea.right} - proposed.right;
    const int64_t dT = int64_t{proposed.top} - workArea.top;
    const int64_t dB = int64_t{workArea.bottom} - proposed.bottom;

    if (proposed.left < current.left)
        MoveTowardLow(res.rect, res.stamps, Edge::Left, Edge::Right, dL, dR, workArea.left,
                      workArea.right, a, nowMs);
    else if (proposed.left > current.left)
        MoveRight(res.rect, res.stamps, dL, dR, workArea, a, nowMs);

    if (proposed.top < current.top)
        MoveTowardLow(res.rect, res.stamps, Edge::Top, Edge::Bottom, dT, dB, workArea.top,
                      workArea.bottom, a, nowMs);
    else if (proposed.top > current.top)
        MoveDown(res.rect, res.stamps, dT, dB, workArea, a, nowMs);
    return res;
}

} // namespace ocelis

TOcFormMagnet::TOcFormMagnet(Clock clock) : FClock(std::move(clock)) {
    if (!FClock)
        FClock = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
}

ocelis::MagnetRect TOcFormMagnet::Moving(const ocelis::MagnetRect& current,
                                         const ocelis::MagnetRect& proposed,
                                         const ocelis::MagnetRect& workArea) {
    if (!Active || !ScreenMagnet)
        return proposed;
    const ocelis::MagnetResult r =
        ocelis::SnapToWorkArea(current, proposed, workArea, FClock(), FStamps, Area);
    FStamps = r.stamps;
    return r.rect;
}
