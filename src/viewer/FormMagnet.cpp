#include "viewer/FormMagnet.h"

#include <chrono>
#include <cstdlib>

namespace ocelis {

namespace {

enum class TEdge { Left, Right, Top, Bottom };

bool In(int64_t x, int64_t a, int64_t b) {
    return a <= x && x <= b;
}

int64_t& StampOf(TMagnetStamps& s, TEdge e) {
    switch (e) {
    case TEdge::Left:
        return s.Left;
    case TEdge::Right:
        return s.Right;
    case TEdge::Top:
        return s.Top;
    case TEdge::Bottom:
        break;
    }
    return s.Bottom;
}

// Moves r as a whole so that the given edge lies at pos; stamps that edge.
void Place(TMagnetRect& r, TMagnetStamps& stamps, TEdge edge, int64_t pos, int64_t now) {
    const int32_t w = r.Width(), h = r.Height();
    const auto p = static_cast<int32_t>(pos);
    switch (edge) {
    case TEdge::Left:
        r.Left = p;
        r.Right = p + w;
        break;
    case TEdge::Right:
        r.Right = p;
        r.Left = p - w;
        break;
    case TEdge::Top:
        r.Top = p;
        r.Bottom = p + h;
        break;
    case TEdge::Bottom:
        r.Bottom = p;
        r.Top = p - h;
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
void MoveTowardLow(TMagnetRect& r, TMagnetStamps& st, TEdge nearE, TEdge farE, int64_t dNear,
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

void MoveRight(TMagnetRect& r, TMagnetStamps& st, int64_t dL, int64_t dR, const TMagnetRect& wa,
               int64_t a, int64_t now) {
    if (!Fresh(st.Right, now)) {
        if (In(dR, 2, a) || std::llabs(dR) == 1)
            Place(r, st, TEdge::Right, wa.Right, now);
        else if (In(dR, -a, -2))
            Place(r, st, TEdge::Right, wa.Right + a, now);
        else if (In(dL, -a, -2))
            Place(r, st, TEdge::Left, wa.Left, now);
        else if (In(std::llabs(dL), 1, a))
            Place(r, st, TEdge::Left, wa.Left + a, now);
    } else {
        if (std::llabs(dR) < a)
            Place(r, st, TEdge::Right, wa.Right, now);
        else if (std::llabs(dL) < a)
            Place(r, st, TEdge::Left, wa.Left, now);
    }
}

void MoveDown(TMagnetRect& r, TMagnetStamps& st, int64_t dT, int64_t dB, const TMagnetRect& wa,
              int64_t a, int64_t now) {
    if (!Fresh(st.Bottom, now)) {
        if (In(dT, 2, a))
            Place(r, st, TEdge::Top, wa.Top + a, now);
        else if (std::llabs(dT) < a)
            Place(r, st, TEdge::Top, wa.Top, now);
        else if (In(dB, 2, a))
            Place(r, st, TEdge::Bottom, wa.Bottom, now);
        else if (In(std::llabs(dB), 1, a))
            Place(r, st, TEdge::Bottom, wa.Bottom + a, now);
    } else {
        if (std::llabs(dT) < a)
            Place(r, st, TEdge::Top, wa.Top, now);
        else if (std::llabs(dB) < a)
            Place(r, st, TEdge::Bottom, wa.Bottom + a, now);
    }
}

} // namespace

TMagnetResult SnapToWorkArea(const TMagnetRect& current, const TMagnetRect& proposed,
                             const TMagnetRect& workArea, int64_t nowMs,
                             const TMagnetStamps& stamps, int32_t area) {
    TMagnetResult res{proposed, stamps};
    const int64_t a = area;
    // Distances of the proposed rectangle from the edges, positive inside.
    const int64_t dL = int64_t{proposed.Left} - workArea.Left;
    const int64_t dR = int64_t{workArea.Right} - proposed.Right;
    const int64_t dT = int64_t{proposed.Top} - workArea.Top;
    const int64_t dB = int64_t{workArea.Bottom} - proposed.Bottom;

    if (proposed.Left < current.Left)
        MoveTowardLow(res.Rect, res.Stamps, TEdge::Left, TEdge::Right, dL, dR, workArea.Left,
                      workArea.Right, a, nowMs);
    else if (proposed.Left > current.Left)
        MoveRight(res.Rect, res.Stamps, dL, dR, workArea, a, nowMs);

    if (proposed.Top < current.Top)
        MoveTowardLow(res.Rect, res.Stamps, TEdge::Top, TEdge::Bottom, dT, dB, workArea.Top,
                      workArea.Bottom, a, nowMs);
    else if (proposed.Top > current.Top)
        MoveDown(res.Rect, res.Stamps, dT, dB, workArea, a, nowMs);
    return res;
}

} // namespace ocelis

TOcFormMagnet::TOcFormMagnet(TClock clock) : FClock(std::move(clock)) {
    if (!FClock)
        FClock = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
}

ocelis::TMagnetRect TOcFormMagnet::Moving(const ocelis::TMagnetRect& current,
                                          const ocelis::TMagnetRect& proposed,
                                          const ocelis::TMagnetRect& workArea) {
    if (!Active || !ScreenMagnet)
        return proposed;
    const ocelis::TMagnetResult r =
        ocelis::SnapToWorkArea(current, proposed, workArea, FClock(), FStamps, Area);
    FStamps = r.Stamps;
    return r.Rect;
}
