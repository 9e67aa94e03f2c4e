#include "meshes.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "scenes/scene_assets.h"
#include "text.h"

// Conventions of the models, taken from how the scene script places them:
// - Instruments flattened onto the model x-z plane (horn, hourglass, kwnos,
//   trumpets, flute, ak472, razor, teras, gaza) are drawn here in screen
//   terms (u, v) = (x, -z): the show turns them so that model -z is up. The
//   Trombone is also flattened onto x-y, so it lies on the plane between.
// - Vehicles seen from the side (train, tracks, bicycle, boat) have their
//   length along z and y up; truck, tuba, man3, greetings2, quorlaxen and
//   telos face the camera in the x-y plane. The helicopter (y up) is seen
//   from above, its x-z plane to the camera. cycle2 is seen in profile (y-z)
//   and, falling, from +z (x-y).
// - Moving parts are modelled about the pivots the script turns them on.

namespace forge {

// Horn and its beam share one frame: the bell points down-left in screen
// terms and the cone of light starts at its mouth.
const p2 horn_bell_mouth{-1.95, -1.1};
const p2 horn_bell_dir{-0.94, -0.34};

namespace {

constexpr double pi = 3.14159265358979323846;

// A point of the x-z drawing plane in screen terms.
v3 xz(double u, double v, double y = 0) { return {u, y, -v}; }
// A point of the z-y side plane (u along z, v up).
v3 zy(double u, double v, double x = 0) { return {x, v, u}; }

std::vector<v3> arc_xz(p2 c, double r, double a0, double a1, int n, double y = 0) {
    std::vector<v3> out;
    for (int i = 0; i <= n; ++i) {
        double a = a0 + (a1 - a0) * i / n;
        out.push_back(xz(c.x + r * std::cos(a), c.y + r * std::sin(a), y));
    }
    return out;
}

void append(std::vector<v3>& a, const std::vector<v3>& b) { a.insert(a.end(), b.begin(), b.end()); }

// A bell: flaring radius from r0 to r1 over the length, with the steep
// flare of brass bells at the end; the mouth is closed by the lathe's cap.
std::vector<p2> bell_profile(double length, double r0, double r1, double power = 3.5) {
    std::vector<p2> p;
    for (int i = 0; i <= 16; ++i) {
        double t = i / 16.0;
        p.push_back({length * t, r0 + (r1 - r0) * std::pow(t, power)});
    }
    return p;
}

// A spoked wheel outline in a plane: rim, hub and spokes (gaps are holes);
// the first spoke points along `first_spoke` radians from the plane's u axis.
void wheel(group& g, const plane& pl, p2 c, double r, double rim, int spokes, double thickness,
           double spoke_width, double first_spoke = 0) {
    std::vector<polygon> solids{circle(c, r, 48)};
    std::vector<polygon> holes;
    // Gaps between spokes: sectors of the inner disc minus the spoke bands.
    double inner = r - rim, hub = std::max(r * 0.14, spoke_width * 1.5);
    for (int k = 0; k < spokes; ++k) {
        double a0 = first_spoke + 2 * pi * k / spokes, a1 = first_spoke + 2 * pi * (k + 1) / spokes;
        double pad0 = spoke_width / 2 / hub, pad1 = spoke_width / 2 / inner;
        polygon gap;
        for (int i = 0; i <= 10; ++i) {
            double a = a0 + pad1 + (a1 - a0 - 2 * pad1) * i / 10;
            gap.push_back({c.x + inner * std::cos(a), c.y + inner * std::sin(a)});
        }
        for (int i = 4; i >= 0; --i) {
            double a = a0 + pad0 + (a1 - a0 - 2 * pad0) * i / 4;
            gap.push_back({c.x + hub * std::cos(a), c.y + hub * std::sin(a)});
        }
        holes.push_back(gap);
    }
    slab(g, solids, holes, pl, thickness);
}

// ---------------------------------------------------------------- brass

void horn_body(group& g) {
    // Coiled tubing: nearly two turns of a slowly tightening spiral.
    std::vector<v3> coil;
    for (int i = 0; i <= 120; ++i) {
        double t = i / 120.0, a = 0.6 + 2 * pi * 1.8 * t;
        double r = 1.0 - 0.18 * t;
        coil.push_back(xz(0.25 + r * std::cos(a), 0.15 + r * std::sin(a)));
    }
    tube(g, coil, 0.075, 10);
    // Leadpipe out to the mouthpiece (upper right).
    std::vector<v3> lead;
    append(lead, arc_xz({0.25, 0.15}, 0.82, 0.6 + 2 * pi * 1.8, 0.6 + 2 * pi * 1.8 + 0.5, 6));
    lead.push_back(xz(1.45, 1.25));
    lead.push_back(xz(1.75, 1.55));
    tube(g, lead, 0.05, 8);
    lathe(g, xz(1.72, 1.52), v3{0.7, 0, -0.7}, {{0, 0.05}, {0.12, 0.07}, {0.2, 0.11}, {0.24, 0.11}}, 12);
    // Rotary valves and their levers on the right side of the coil.
    for (int k = 0; k < 3; ++k) {
        p2 c{0.55 + 0.26 * k, -0.05 + 0.08 * k};
        lathe(g, xz(c.x, c.y, -0.12), {0, 1, 0}, {{0, 0.13}, {0.24, 0.13}}, 16);
        tube(g, {xz(c.x, c.y, 0.1), xz(c.x + 0.05, c.y + 0.38, 0.1), xz(c.x + 0.2, c.y + 0.5, 0.1)}, 0.025,
             6);
    }
    // Slide crooks inside the coil.
    std::vector<v3> crook = arc_xz({0.1, 0.05}, 0.35, 0.4, 0.4 + pi, 12);
    tube(g, crook, 0.05, 8);
    // Bell section: from the coil's bottom left out to the flare.
    std::vector<v3> neck = arc_xz({0.25, 0.15}, 1.0, 0.6 - 1.2, 0.6, 10);
    std::reverse(neck.begin(), neck.end());
    append(neck, {xz(-0.35, -0.7)});
    tube(g, neck, 0.08, 10);
    p2 start{horn_bell_mouth.x - horn_bell_dir.x * 1.6, horn_bell_mouth.y - horn_bell_dir.y * 1.6};
    tube(g, {xz(-0.35, -0.7), xz(start.x, start.y)}, 0.085, 10);
    lathe(g, xz(start.x, start.y), xz(horn_bell_dir.x, horn_bell_dir.y), bell_profile(1.6, 0.09, 0.72, 4),
          28);
}

model make_horn() {
    model m;
    horn_body(m.add_group("horn_glow"));
    horn_body(m.add_group("horn_body"));
    return m;
}

model make_kwnos() {
    // A long cone of light whose apex sits in the horn's bell.
    model m;
    group& g = m.add_group("cone");
    p2 apex{horn_bell_mouth.x - horn_bell_dir.x * 0.3, horn_bell_mouth.y - horn_bell_dir.y * 0.3};
    std::vector<p2> profile;
    for (int i = 0; i <= 12; ++i) {
        double t = i / 12.0;
        profile.push_back({30 * t, 0.02 + 11 * t});
    }
    lathe(g, xz(apex.x, apex.y), xz(horn_bell_dir.x, horn_bell_dir.y), profile, 32);
    return m;
}

// Trumpet in screen terms: mouthpiece at the left, bell at the right, the
// valve casings upright in the middle with their pistons standing out above.
const double valve_u[3] = {-0.3, 0.0, 0.3};

void trumpet_body(group& g) {
    // Leadpipe, mouthpiece.
    tube(g, {xz(-2.55, 0.0), xz(-0.42, 0.0)}, 0.045, 10);
    lathe(g, xz(-2.85, 0.0), {1, 0, 0}, {{0, 0.11}, {0.12, 0.11}, {0.2, 0.06}, {0.32, 0.04}}, 14);
    // Bell section with its flare.
    tube(g, {xz(0.42, 0.0), xz(0.8, 0.0)}, 0.05, 10);
    lathe(g, xz(0.8, 0.0), {1, 0, 0}, bell_profile(1.75, 0.05, 0.62), 28);
    // Main tuning slide (left loop) and the front bow (right loop).
    std::vector<v3> slide{xz(-0.42, -0.52), xz(-1.5, -0.52)};
    append(slide, arc_xz({-1.5, -0.28}, 0.24, -pi / 2, -3 * pi / 2, 10));
    slide.push_back(xz(-1.2, -0.04));
    tube(g, slide, 0.045, 10);
    std::vector<v3> bow{xz(0.42, -0.52), xz(1.25, -0.52)};
    append(bow, arc_xz({1.25, -0.28}, 0.24, -pi / 2, pi / 2, 10));
    bow.push_back(xz(0.95, -0.04));
    tube(g, bow, 0.045, 10);
    // Valve casings: caps top and bottom.
    for (double u : valve_u) {
        lathe(g, xz(u, -0.82), xz(0, 1),
              {{0, 0.1}, {0.06, 0.13}, {0.1, 0.11}, {1.0, 0.11}, {1.04, 0.13}, {1.1, 0.13}}, 18);
        tube(g, {xz(u - 0.12, -0.3), xz(u + 0.12, -0.3)}, 0.04, 8); // knuckles between casings
    }
    // Finger hook and a water key for the outline.
    tube(g, {xz(-0.9, 0.03), xz(-0.9, 0.2), xz(-0.78, 0.26)}, 0.018, 6);
    tube(g, {xz(-1.72, -0.4), xz(-1.85, -0.55)}, 0.02, 6);
}

void trumpet_valve(group& g, double u) {
    // Stem from the casing top up to the finger button; pressing moves the
    // whole group along +z (down on screen) by up to 0.6.
    tube(g, {xz(u, 0.26), xz(u, 0.86)}, 0.028, 8);
    lathe(g, xz(u, 0.82), xz(0, 1), {{0, 0.05}, {0.02, 0.1}, {0.08, 0.1}, {0.1, 0.07}}, 16);
}

model make_trumpet2() {
    model m;
    trumpet_body(m.add_group("trumpet"));
    return m;
}

model make_trumpet_valves() {
    model m;
    for (int k = 0; k < 3; ++k)
        trumpet_valve(m.add_group("valve" + std::to_string(k + 1)), valve_u[k]);
    return m;
}

model make_trumpet() {
    // Only the parade shows this one, at about a third of the size of the
    // valved pair and half cut off by the frame's edge: drawn larger.
    model m;
    group& g = m.add_group("trumpet");
    trumpet_body(g);
    for (double u : valve_u)
        trumpet_valve(g, u);
    for (v3& v : g.vertices)
        v = v * 1.35;
    return m;
}

// The trombone is drawn on the plane y = -z, halfway between the two planes
// the script flattens it onto: x-z when it stands (model -z up) and x-y when
// it falls (model y up). With v stretched by the square root of two both
// projections show the drawing (u, v) at its true proportions, and round
// tubing keeps its width in each.
v3 trombone_point(double u, double v) { return {u, v, -v}; }

std::vector<v3> trombone_path(const std::vector<p2>& drawing) {
    std::vector<v3> out;
    for (p2 p : drawing)
        out.push_back(trombone_point(p.x, p.y));
    return out;
}

std::vector<p2> arc(p2 c, double r, double a0, double a1, int n) {
    std::vector<p2> out;
    for (int i = 0; i <= n; ++i) {
        double a = a0 + (a1 - a0) * i / n;
        out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    return out;
}

model make_trombone() {
    // Bell and slide both point left; the tuning bow is at the right. The
    // tubing is drawn thicker than life: the falling ones are shown at 0.3.
    model m;
    group& g = m.add_group("trombone");
    tube(g, trombone_path({{0.25, -0.2}, {-3.55, -0.2}}), 0.055, 10);
    tube(g, trombone_path(arc({-3.55, -0.34}, 0.14, pi / 2, 3 * pi / 2, 10)), 0.06, 10);
    tube(g, trombone_path({{-3.55, -0.48}, {0.05, -0.48}}), 0.055, 10);
    tube(g, trombone_path({{-3.3, -0.2}, {-3.3, -0.48}}), 0.045, 8); // slide brace (the grip)
    tube(g, trombone_path({{-0.2, -0.2}, {-0.2, 0.28}}), 0.035, 8);
    std::vector<p2> gooseneck{{0.05, -0.48}, {0.55, -0.48}};
    std::vector<p2> bow = arc({0.55, -0.1}, 0.38, -pi / 2, pi / 2, 14);
    gooseneck.insert(gooseneck.end(), bow.begin() + 1, bow.end());
    gooseneck.push_back({-0.6, 0.28});
    tube(g, trombone_path(gooseneck), 0.065, 10);
    lathe(g, trombone_point(-0.6, 0.28), {-1, 0, 0}, bell_profile(1.8, 0.065, 0.62), 28);
    lathe(g, trombone_point(0.45, -0.2), {1, 0, 0}, {{0, 0.05}, {0.18, 0.07}, {0.26, 0.13}, {0.3, 0.13}}, 14);
    return m;
}

model make_tuba() {
    // Upright tuba facing +z: bell up at the top right, the big bow of the
    // body at the bottom, four valves at the front with their slides hanging
    // inside the bow, the tuning slide out to the right and the mouthpiece to
    // the left. The script sets its origin just under the bottom of the
    // picture, so the whole instrument stands 0.3 above it.
    model m;
    group& g = m.add_group("tuba");
    const double lift = 0.92;
    auto at = [&](double x, double y, double z) { return v3{x, y + lift, z}; };
    lathe(g, at(0.12, 0.55, 0), {0, 1, 0}, bell_profile(0.9, 0.11, 0.5, 3), 32);
    std::vector<v3> body{at(0.12, 0.58, 0), at(0.12, -0.25, 0)};
    for (int i = 1; i <= 12; ++i) {
        double a = -pi * i / 12;
        body.push_back(at(-0.13 + 0.25 * std::cos(a), -0.25 + 0.25 * std::sin(a), 0));
    }
    body.push_back(at(-0.38, 0.45, 0));
    for (int i = 1; i <= 8; ++i) {
        double a = pi - pi * i / 8;
        body.push_back(at(-0.22 + 0.16 * std::cos(a), 0.45 + 0.16 * std::sin(a), 0));
    }
    body.push_back(at(-0.06, 0.2, 0));
    std::vector<double> radius;
    for (size_t i = 0; i < body.size(); ++i)
        radius.push_back(0.13 - 0.07 * i / (body.size() - 1));
    tube(g, body, radius, 14);
    std::vector<v3> tuning{at(0.12, 0.08, 0)};
    for (int i = 0; i <= 8; ++i) {
        double a = -pi / 2 + pi * i / 8;
        tuning.push_back(at(0.36 + 0.11 * std::cos(a), 0.19 + 0.11 * std::sin(a), 0));
    }
    tuning.push_back(at(0.12, 0.3, 0));
    tube(g, tuning, 0.045, 10);
    for (int k = 0; k < 4; ++k) {
        double x = -0.22 + 0.1 * k;
        lathe(g, at(x, -0.02, 0.14), {0, 1, 0}, {{0, 0.05}, {0.34, 0.05}, {0.36, 0.06}, {0.4, 0.06}}, 12);
        tube(g, {at(x, 0.38, 0.14), at(x, 0.5, 0.14)}, 0.015, 6);
        lathe(g, at(x, 0.5, 0.14), {0, 1, 0}, {{0, 0.04}, {0.03, 0.04}}, 12);
    }
    for (int k = 0; k < 2; ++k) { // valve slides
        double x = -0.22 + 0.2 * k;
        std::vector<v3> slide{at(x, 0.0, 0.1), at(x, -0.14, 0.1)};
        for (int i = 1; i <= 6; ++i) {
            double a = pi + pi * i / 6;
            slide.push_back(at(x + 0.05 + 0.05 * std::cos(a), -0.14 + 0.05 * std::sin(a), 0.1));
        }
        slide.push_back(at(x + 0.1, 0.0, 0.1));
        tube(g, slide, 0.03, 8);
    }
    tube(g, {at(-0.3, 0.1, 0.14), at(-0.45, 0.25, 0.1), at(-0.62, 0.32, 0.05)}, 0.035, 8);
    lathe(g, at(-0.62, 0.32, 0.05), {-1, 0.2, 0}, {{0, 0.035}, {0.06, 0.05}, {0.1, 0.075}}, 12);
    return m;
}

model make_flute() {
    // Along x from the crown (-2.1) to the foot (2.0), then drawn 1.25 times
    // larger; the key cups stand up on screen (model -z), tall and spaced
    // enough to show as a row of bumps where the parade shows the flute at
    // 0.66 among its track doodles.
    model m;
    group& g = m.add_group("flute");
    lathe(g, xz(-2.1, 0), {1, 0, 0},
          {{0, 0.07},
           {0.06, 0.13},
           {0.16, 0.13},
           {0.2, 0.105},
           {1.1, 0.105},
           {1.1, 0.125},
           {1.2, 0.125},
           {1.2, 0.1},
           {3.45, 0.1},
           {3.45, 0.12},
           {3.55, 0.12},
           {3.55, 0.1},
           {4.1, 0.1}},
          16);
    box(g, xz(-1.6, 0.12), {0.2, 0.09, 0.05}); // lip plate
    box(g, xz(-1.6, 0.18), {0.09, 0.06, 0.04});
    tube(g, {xz(-0.6, 0.12), xz(1.95, 0.12)}, 0.025, 6); // key rod
    for (int k = 0; k < 7; ++k)
        lathe(g, xz(-0.5 + 0.3 * k, 0.05), xz(0, 1), {{0, 0.09}, {0.14, 0.09}, {0.17, 0.065}}, 14);
    for (double u : {1.62, 1.88})
        lathe(g, xz(u, 0.05), xz(0, 1), {{0, 0.08}, {0.12, 0.08}, {0.15, 0.055}}, 14);
    tube(g, {xz(1.75, 0.1), xz(2.02, 0.22)}, 0.03, 6); // foot key lever
    for (v3& v : g.vertices)
        v = v * 1.25;
    return m;
}

// ---------------------------------------------------------------- machines

model make_hourglass() {
    // Upright along z (screen up = -z), 3 units tall: plates, turned posts,
    // the two glass bulbs full of sand.
    model m;
    auto build = [](group& g) {
        for (double v : {-1.45, 1.45}) {
            box(g, xz(0, v), {0.85, 0.35, 0.07});
            box(g, xz(0, v + (v > 0 ? 0.11 : -0.11)), {0.7, 0.3, 0.05});
        }
        for (double u : {-0.72, 0.72}) {
            std::vector<p2> post;
            for (int i = 0; i <= 16; ++i) {
                double t = i / 16.0;
                post.push_back({2.8 * t, 0.05 + 0.025 * std::cos(t * 2 * pi * 3)});
            }
            lathe(g, xz(u, -1.4), xz(0, 1), post, 10);
        }
        std::vector<p2> glass;
        for (int i = 0; i <= 32; ++i) {
            double t = i / 32.0, s = std::fabs(2 * t - 1);
            glass.push_back(
                {2.8 * t, 0.06 + 0.52 * std::pow(std::sin(s * pi / 2), 0.9) * (1 - 0.35 * std::pow(s, 8))});
        }
        lathe(g, xz(0, -1.4), xz(0, 1), glass, 28);
    };
    build(m.add_group("hourglass_glow"));
    build(m.add_group("hourglass_body"));
    return m;
}

model make_razor() {
    // A straight razor opened out, seen flat: a broad blade whose toe (the
    // origin) leads the cut towards model -z, the edge on the left, the
    // handle swung out behind it from the pivot.
    model m;
    group& g = m.add_group("razor");
    plane pl = plane_xz();
    polygon blade{{0, 0},      {0.25, 0.02},  {0.6, -0.08}, {0.88, -0.32}, {0.95, -0.6},  {0.95, -2.0},
                  {0.8, -2.3}, {0.55, -2.45}, {0.1, -2.35}, {0.03, -1.8},  {-0.02, -1.0}, {-0.03, -0.35}};
    slab(g, {blade}, {}, pl, 0.06);
    slab(g, {rect(0.3, -2.75, 0.85, -2.3), circle({0.6, -2.62}, 0.24, 20)}, pl, 0.12); // tang and shoulder
    polygon handle;
    for (int i = 0; i <= 12; ++i) { // rounded butt
        double a = pi + pi * i / 12;
        handle.push_back({0.6 + 0.28 * std::cos(a), -5.0 + 0.28 * std::sin(a)});
    }
    handle.push_back({0.82, -2.6});
    handle.push_back({0.38, -2.6});
    for (p2& p : handle)
        p = {p.x - 0.6, p.y + 2.62};
    std::vector<polygon> scales{transformed(handle, 0.6, -2.62, 0.35)}; // swung about the pivot
    slab(g, scales, {circle({0.6, -2.62}, 0.07, 12)}, pl, 0.18);
    return m;
}

model make_boat() {
    // Sailing boat, bow at +z, waterline near y = 1: hull from lofted
    // sections, cabin, mast, boom, mainsail and jib.
    model m;
    group& g = m.add_group("boat");
    std::vector<std::vector<v3>> rings;
    for (int i = 0; i <= 24; ++i) {
        double z = -5.5 + 11.5 * i / 24.0, s = z / 6.0;
        double w = 1.35 * std::sqrt(std::max(0.0, 1 - s * s * (s > 0 ? 1.0 : 0.55))) + 0.04;
        double deck = 1.75 + 0.35 * s * s + (s > 0.8 ? 0.5 * (s - 0.8) : 0);
        double keel = 0.25 + 0.45 * s * s + (s > 0 ? 0.9 * std::pow(s, 4) : 0);
        std::vector<v3> ring;
        for (int k = 0; k <= 8; ++k) { // keel to starboard deck edge
            double a = -pi / 2 + (pi / 2) * k / 8;
            ring.push_back({w * std::cos(a), deck + (deck - keel) * std::sin(a) * (k < 8 ? 1 : 0), z});
        }
        for (int k = 0; k < 8; ++k) { // port deck edge down to the keel
            double a = pi + (pi / 2) * k / 8;
            ring.push_back({w * std::cos(a), deck + (deck - keel) * std::sin(a) * (k > 0 ? 1 : 0), z});
        }
        rings.push_back(ring);
    }
    loft(g, rings);
    box(g, {0, 2.2, -1.4}, {0.6, 0.45, 1.4});
    tube(g, {{0, 1.7, 0.6}, {0, 10.2, 0.6}}, 0.09, 8);
    tube(g, {{0, 2.7, 0.6}, {0, 2.7, -4.6}}, 0.07, 8);
    plane side = plane_zy();
    slab(g, {{{0.45, 2.85}, {0.45, 9.8}, {-4.5, 2.85}}}, side, 0.05);
    slab(g, {{{0.8, 9.3}, {5.9, 2.15}, {0.8, 2.6}}}, side, 0.05);
    slab(g, {{{0.6, 10.1}, {1.5, 9.85}, {0.6, 9.6}}}, side, 0.04); // pennant
    tube(g, {{0, 10.1, 0.6}, {0, 2.1, 6.0}}, 0.015, 4);            // forestay
    return m;
}

model make_helicopter_unscaled();

model make_helicopter() {
    // Y up, nose at -x, rotor mast on the y axis (the rotor turns about y).
    // The script shows it from above (its x-z plane faces the camera) at
    // scale 0.1, so it is drawn at 2.8 times the sizes below: the rotor then
    // spans about a fifth of the view's width.
    model m = make_helicopter_unscaled();
    for (group& g : m.groups)
        for (v3& v : g.vertices)
            v = v * 2.8;
    return m;
}

model make_helicopter_unscaled() {
    model m;
    group& body = m.add_group("body");
    // Cabin, its widest point ahead of the mast, tapering into the boom.
    lathe(body, {-3.0, 0.2, 0}, {1, 0, 0},
          {{0, 0.05},
           {0.15, 0.45},
           {0.4, 0.7},
           {0.8, 0.88},
           {1.4, 1.0},
           {2.2, 0.98},
           {3.0, 0.8},
           {3.6, 0.55},
           {4.0, 0.4}},
          24);
    std::vector<p2> boom;
    for (int i = 0; i <= 8; ++i)
        boom.push_back({5.5 * i / 8.0, 0.42 - 0.28 * i / 8.0});
    lathe(body, {0.9, 0.35, 0}, {1, 0.06, 0}, boom, 12);
    // Tail plane across the boom: the tail's mark seen from above.
    slab(body,
         {{{4.9, 0.22}, {5.45, 0.22}, {5.4, 1.0}, {5.1, 1.0}},
          {{4.9, -0.22}, {5.45, -0.22}, {5.4, -1.0}, {5.1, -1.0}}},
         plane_xz(0.66), 0.08);
    slab(body, {{{5.9, 0.55}, {6.5, 0.7}, {6.75, 1.9}, {6.35, 1.9}}}, plane_xy(), 0.1); // fin
    slab(body, {{{6.2, 0.1}, {6.55, 0.6}, {6.45, 0.65}, {6.1, 0.15}}}, plane_xy(), 0.1);
    lathe(body, {6.45, 1.5, 0.0}, {0, 0, 1}, {{0, 0.1}, {0.3, 0.1}}, 10); // tail rotor hub
    for (int k = 0; k < 2; ++k) { // tail rotor, two blades beside the fin
        double a = pi / 4 + k * pi / 2;
        box(body, {6.45, 1.5, 0.26}, {0.65, 0.06, 0.03}, {std::cos(a), std::sin(a), 0},
            {-std::sin(a), std::cos(a), 0});
    }
    // Skids wide of the cabin, so they show beside it from above.
    for (double z : {-1.05, 1.05}) {
        tube(body, {{-2.5, -0.95, z}, {-2.25, -1.15, z}, {1.5, -1.15, z}}, 0.08, 8);
        tube(body, {{-1.3, -1.15, z}, {-1.1, -0.4, z * 0.55}}, 0.06, 6);
        tube(body, {{0.6, -1.15, z}, {0.4, -0.4, z * 0.55}}, 0.06, 6);
    }
    box(body, {-0.5, 1.1, 0}, {1.1, 0.2, 0.5}); // engine cowling
    lathe(body, {0, 1.0, 0}, {0, 1, 0}, {{0, 0.35}, {0.25, 0.25}, {0.3, 0.1}, {0.65, 0.1}}, 12);
    group& rotor = m.add_group("rotor");
    lathe(rotor, {0, 1.6, 0}, {0, 1, 0}, {{0, 0.32}, {0.2, 0.32}, {0.28, 0.1}}, 16);
    for (int k = 0; k < 4; ++k) {
        double a = k * pi / 2 + 0.3;
        v3 dir{std::cos(a), 0, std::sin(a)};
        box(rotor, v3{0, 1.72, 0} + dir * 2.8, {2.6, 0.04, 0.17}, dir, {0, 1, 0});
    }
    return m;
}

// The monster machine in screen terms (u, v) = (x, -z), about 6 x 5 units.
// Its arm turns about the pivot (u, v) = (-1.63, 2.846); the weight (gaza)
// hangs from the arm's tip.
const p2 teras_pivot{-1.63, 2.846};
const p2 teras_arm_tip{-3.9, 4.2};

model make_teras() {
    model m;
    plane pl = plane_xz();
    // 0: crane arm, a braced boom from the pivot up to the tip pulley.
    {
        group& g = m.add_group("arm");
        p2 a = teras_pivot, b = teras_arm_tip;
        double dx = b.x - a.x, dy = b.y - a.y, l = std::hypot(dx, dy);
        double nx = -dy / l * 0.14, ny = dx / l * 0.14;
        std::vector<polygon> parts{band({a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, 0.08, 0.08),
                                   band({a.x - nx, a.y - ny}, {b.x - nx, b.y - ny}, 0.08, 0.08),
                                   circle(a, 0.24, 20), circle(b, 0.22, 20)};
        for (int k = 0; k < 6; ++k) {
            double t0 = k / 6.0, t1 = (k + 1) / 6.0;
            parts.push_back(band({a.x + dx * t0 + nx, a.y + dy * t0 + ny},
                                 {a.x + dx * t1 - nx, a.y + dy * t1 - ny}, 0.05, 0.05));
        }
        slab(g, parts, {circle(a, 0.08, 10)}, pl, 0.2);
    }
    // 1-3: stomping legs (pistons with feet) under the body.
    for (int k = 0; k < 3; ++k) {
        group& g = m.add_group("leg" + std::to_string(k + 1));
        double u = -1.6 + 1.6 * k;
        slab(g,
             {rect(u - 0.16, -2.4, u + 0.16, -0.9),
              rect(u - 0.26, -1.3, u + 0.26, -1.15),
              {{u - 0.5, -2.7}, {u + 0.5, -2.7}, {u + 0.3, -2.35}, {u - 0.3, -2.35}}},
             pl, 0.3);
    }
    // 4: jaw with its teeth, over the red mouth.
    {
        group& g = m.add_group("teeth");
        std::vector<polygon> parts{rect(-1.55, -0.95, 1.55, -0.75)};
        for (int k = 0; k < 7; ++k) {
            double u = -1.3 + 0.433 * k;
            parts.push_back({{u - 0.18, 0.15}, {u + 0.18, 0.15}, {u, -0.25}});
            parts.push_back({{u - 0.15, -0.78}, {u + 0.15, -0.78}, {u + 0.2, -0.45}});
        }
        slab(g, parts, pl, 0.26);
    }
    // 5: mouth.
    slab(m.add_group("mouth"), {rect(-1.5, -0.85, 1.5, 0.2)}, pl, 0.22);
    // 6, 7: eyes, white discs with the pupil cut out (the body shows through).
    for (int k = 0; k < 2; ++k) {
        p2 c{k ? 0.95 : -0.95, 1.35};
        slab(m.add_group(k ? "eye_right" : "eye_left"), {circle(c, 0.45, 32)},
             {circle({c.x + 0.12, c.y - 0.06}, 0.16, 16)}, pl, 0.28);
    }
    // 8: the body: a riveted boiler with a chimney and a furnace hatch.
    {
        group& g = m.add_group("body");
        std::vector<polygon> parts;
        parts.push_back(rect(-2.3, -0.6, 2.3, 2.3));
        parts.push_back(rect(-1.8, -1.1, 1.8, 2.3));
        parts.push_back(circle({-1.8, -0.6}, 0.5, 20));
        parts.push_back(circle({1.8, -0.6}, 0.5, 20));
        parts.push_back({{-2.3, 2.25}, {2.3, 2.25}, {1.9, 2.7}, {-1.9, 2.7}});
        parts.push_back(rect(1.05, 2.5, 1.55, 3.7));
        parts.push_back(rect(0.9, 3.6, 1.7, 3.85));
        parts.push_back(rect(-2.05, 2.55, -1.2, 3.05)); // arm bearing block
        for (int k = 0; k < 9; ++k)
            parts.push_back(circle({-2.0 + 0.5 * k, 2.45}, 0.09, 10));
        for (int k = 0; k < 5; ++k)
            parts.push_back(circle({-2.45, -0.6 + 0.6 * k}, 0.1, 10));
        for (int k = 0; k < 5; ++k)
            parts.push_back(circle({2.45, -0.6 + 0.6 * k}, 0.1, 10));
        slab(g, parts, {}, pl, 1.2);
    }
    return m;
}

model make_gaza() {
    // The weight in its own frame: the show hangs it at (0, 0, 15.846) of the
    // arm and scales it by (0.4, 0.5, 0.5), so these coordinates put its
    // hook on the arm's tip pulley. It hangs towards +z (down on screen).
    model m;
    group& g = m.add_group("weight");
    double gx = teras_arm_tip.x / 0.4, gz = (-teras_arm_tip.y - 15.846) / 0.5;
    // Screen terms of the weight's own frame: u = x, v = -z (up).
    p2 top{gx, -gz};
    plane pl = plane_xz();
    std::vector<polygon> parts{rect(top.x - 0.06, top.y - 2.2, top.x + 0.06, top.y)}; // cable
    parts.push_back(ring_segment({top.x, top.y - 2.45}, 0.18, 0.32, 0, 2 * pi, 24));  // ring
    parts.push_back({{top.x - 1.4, top.y - 4.6},
                     {top.x + 1.4, top.y - 4.6},
                     {top.x + 0.95, top.y - 2.7},
                     {top.x - 0.95, top.y - 2.7}}); // weight
    parts.push_back(rect(top.x - 1.5, top.y - 4.75, top.x + 1.5, top.y - 4.5));
    slab(g, parts, {rect(top.x - 0.6, top.y - 3.9, top.x + 0.6, top.y - 3.5)}, pl, 0.6);
    return m;
}

// cycle2 and side: a small machine in the y-z plane (turning about x):
// flywheel about (0, 0.547, 1.161), rocking lever about (0, 0.583, -1.607),
// a hammer that slides along y between them; side is its stand. Whole
// cycle2 machines also fall seen from +z: the flywheel then shows a second
// spoked wheel crossed with it in the x-y plane, and the lever's knob is a
// ball. Seen in profile the crossed wheel lies edge-on along the flywheel's
// upright spokes and the ball on the knob's disc, so the profile is unchanged.
model make_cycle2() {
    model m;
    plane pl = plane_zy();
    // The profile's (z, y) of the points the scene script turns them about.
    const p2 hub{cycle2_flywheel_pivot.z, cycle2_flywheel_pivot.y};
    {
        group& g = m.add_group("lever");
        p2 pivot{cycle2_lever_pivot.z, cycle2_lever_pivot.y};
        slab(g,
             {band(pivot, {-1.2, 2.1}, 0.2, 0.12), circle(pivot, 0.16, 20), circle({-1.2, 2.15}, 0.2, 20),
              band({-1.3, 1.7}, {-0.3, 1.35}, 0.08, 0.08)},
             {circle(pivot, 0.05, 10)}, pl, 0.16);
        sphere(g, {0, 2.15, -1.2}, 0.2, 10, 20);
    }
    {
        group& g = m.add_group("flywheel");
        wheel(g, pl, hub, 0.5, 0.09, 6, 0.14, 0.07, pi / 2);
        slab(g, {band(hub, {hub.x + 0.44, hub.y}, 0.1, 0.08)}, pl, 0.24); // crank pin arm
        // Thinner than the upright spokes and a hair smaller than the rim, so
        // in profile it stays hidden behind them.
        wheel(g, plane_xy(hub.x), {0, hub.y}, 0.495, 0.09, 6, 0.06, 0.07, pi / 2);
    }
    {
        group& g = m.add_group("hammer");
        slab(g, {rect(-0.27, 0.45, -0.17, 1.9), rect(-0.45, 0.3, 0.01, 0.6), rect(-0.32, 1.85, -0.12, 2.0)},
             pl, 0.18);
    }
    return m;
}

model make_side() {
    model m;
    group& g = m.add_group("stand");
    plane pl = plane_zy();
    std::vector<polygon> parts{rect(-2.3, -0.12, 2.0, 0.0)};
    // A-frame bearing stands for the flywheel and the lever.
    for (p2 c : {p2{cycle2_flywheel_pivot.z, cycle2_flywheel_pivot.y},
                 p2{cycle2_lever_pivot.z, cycle2_lever_pivot.y}}) {
        parts.push_back({{c.x - 0.35, 0.0}, {c.x + 0.35, 0.0}, {c.x + 0.08, c.y}, {c.x - 0.08, c.y}});
        parts.push_back(circle(c, 0.1, 14));
    }
    // Guide tower of the hammer.
    parts.push_back(rect(-0.55, 0.0, -0.47, 2.25));
    parts.push_back(rect(0.03, 0.0, 0.11, 2.25));
    parts.push_back(rect(-0.6, 2.25, 0.16, 2.35));
    parts.push_back(rect(-0.6, 0.0, 0.16, 0.08));
    slab(g, parts, {}, pl, 0.5);
    return m;
}

model make_engine() {
    // A stationary steam engine seen from the front (x-y): bed, cylinder,
    // crosshead guides, flywheel and a fly-ball governor.
    model m;
    group& g = m.add_group("engine");
    plane pl = plane_xy();
    slab(g, {rect(-2.2, -0.2, 2.4, 0.2), rect(-2.0, 0.2, -0.6, 0.9)}, pl, 1.0);
    lathe(g, {-2.3, 1.05, 0}, {1, 0, 0}, {{0, 0.3}, {0.1, 0.5}, {1.4, 0.5}, {1.5, 0.3}}, 24);
    tube(g, {{-0.8, 1.05, 0}, {0.6, 1.05, 0}}, 0.05, 8);
    slab(g, {rect(-0.6, 0.85, 0.7, 0.9), rect(-0.6, 1.2, 0.7, 1.25), rect(0.6, 0.2, 0.7, 1.25)}, pl, 0.4);
    wheel(g, pl, {1.7, 1.3}, 1.2, 0.16, 8, 0.2, 0.1);
    slab(g, {band({0.3, 1.05}, {1.7 + 0.4, 1.3 + 0.25}, 0.12, 0.1)}, pl, 0.3);
    tube(g, {{-1.5, 1.55, 0}, {-1.5, 2.5, 0}}, 0.04, 6);
    for (double s : {-1.0, 1.0}) {
        tube(g, {{-1.5, 2.4, 0}, {-1.5 + 0.35 * s, 2.0, 0}}, 0.025, 6);
        sphere(g, {-1.5 + 0.38 * s, 1.97, 0}, 0.1, 8, 12);
    }
    return m;
}

model make_gennhtria() {
    // A dynamo: finned drum on feet with a terminal box (group 0) and the
    // belt pulley on its shaft (group 1, about the x axis).
    model m;
    group& body = m.add_group("dynamo");
    std::vector<p2> drum{{0, 0.3}, {0.1, 0.62}, {0.2, 0.7}};
    for (int k = 0; k < 7; ++k) {
        double x = 0.3 + 0.2 * k;
        drum.push_back({x, 0.7});
        drum.push_back({x + 0.04, 0.8});
        drum.push_back({x + 0.12, 0.8});
        drum.push_back({x + 0.16, 0.7});
    }
    drum.push_back({1.9, 0.7});
    drum.push_back({2.0, 0.62});
    drum.push_back({2.1, 0.3});
    lathe(body, {-1.05, 0, 0}, {1, 0, 0}, drum, 28);
    tube(body, {{-1.5, 0, 0}, {1.6, 0, 0}}, 0.08, 10);
    slab(body, {{{-0.9, -1.05}, {-0.5, -0.5}, {0.5, -0.5}, {0.9, -1.05}}}, plane_xy(0.45), 0.2);
    slab(body, {{{-0.9, -1.05}, {-0.5, -0.5}, {0.5, -0.5}, {0.9, -1.05}}}, plane_xy(-0.45), 0.2);
    box(body, {0, 0.85, 0}, {0.35, 0.18, 0.3});
    for (double x : {-0.15, 0.15})
        tube(body, {{x, 1.0, 0}, {x, 1.22, 0}}, 0.04, 6);
    group& pulley = m.add_group("pulley");
    std::vector<p2> rim{{0, 0.12}, {0.02, 0.5}, {0.06, 0.46}, {0.24, 0.46}, {0.28, 0.5}, {0.3, 0.12}};
    lathe(pulley, {1.25, 0, 0}, {1, 0, 0}, rim, 28);
    return m;
}

// ---------------------------------------------------------------- vehicles

model make_truck() {
    // Side view in x-y, cab at +x, 4.3 long; z is its width.
    model m;
    group& g = m.add_group("truck");
    plane pl = plane_xy();
    std::vector<polygon> body{rect(-2.2, 0.45, 0.85, 2.05),
                              rect(-2.25, 0.35, 2.15, 0.6),
                              {{0.95, 0.45}, {2.15, 0.45}, {2.15, 1.05}, {1.75, 1.7}, {0.95, 1.7}},
                              rect(0.9, 0.45, 1.0, 1.75)};
    slab(g, body, {{{1.1, 1.05}, {1.95, 1.05}, {1.65, 1.55}, {1.1, 1.55}}, rect(-2.0, 0.8, -1.9, 1.9)}, pl,
         1.2);
    for (double x : {-1.5, -0.85, 1.5}) {
        wheel(g, plane_xy(0.55), {x, 0.33}, 0.33, 0.08, 5, 0.2, 0.07);
        wheel(g, plane_xy(-0.55), {x, 0.33}, 0.33, 0.08, 5, 0.2, 0.07);
    }
    box(g, {2.2, 0.7, 0}, {0.06, 0.12, 0.55}); // bumper
    return m;
}

model make_train() {
    // Steam locomotive, tender and one coach; length along z (front at +z),
    // y up, x the width. Wheels stand on y = 0.
    model m;
    group& g = m.add_group("train");
    plane pl = plane_zy();
    // Locomotive.
    lathe(g, zy(4.6, 3.0), {0, 0, 1}, {{0, 1.05}, {7.1, 1.05}, {7.2, 0.9}, {7.35, 0.5}}, 24);
    slab(g, {rect(4.3, 1.7, 12.2, 2.05), rect(4.2, 1.65, 4.8, 4.2)}, pl, 2.4);
    slab(g, {{{10.4, 3.9}, {11.2, 3.9}, {11.4, 5.4}, {11.6, 5.7}, {10.0, 5.7}, {10.2, 5.4}}}, pl,
         0.7);                                                                // chimney
    slab(g, {{{7.6, 3.9}, {8.6, 3.9}, {8.45, 4.45}, {7.75, 4.45}}}, pl, 0.8); // dome
    slab(g, {rect(1.6, 1.7, 4.6, 4.7), rect(1.3, 4.6, 4.9, 4.95)}, {rect(2.1, 3.3, 3.1, 4.3)}, pl,
         2.6);                                                                // cab
    slab(g, {{{11.8, 1.0}, {12.2, 2.0}, {13.4, 0.3}, {12.4, 0.2}}}, pl, 2.2); // cowcatcher
    for (double z : {5.1, 7.0, 8.9})
        wheel(g, plane_zy(0.85), {z, 0.9}, 0.88, 0.12, 10, 0.2, 0.1);
    for (double z : {5.1, 7.0, 8.9})
        wheel(g, plane_zy(-0.85), {z, 0.9}, 0.88, 0.12, 10, 0.2, 0.1);
    for (double x : {-0.85, 0.85})
        wheel(g, plane_zy(x), {11.2, 0.55}, 0.55, 0.1, 6, 0.2, 0.08);
    slab(g, {rect(5.0, 0.75, 9.0, 0.92)}, plane_zy(1.05), 0.08); // coupling rod
    // Tender.
    slab(g, {rect(-3.8, 0.9, 1.3, 3.6), rect(-3.9, 0.75, 1.4, 1.0)}, pl, 2.5);
    for (double z : {-2.8, -0.8})
        for (double x : {-0.9, 0.9})
            wheel(g, plane_zy(x), {z, 0.6}, 0.6, 0.1, 6, 0.2, 0.08);
    // Coach with windows.
    std::vector<polygon> coach{rect(-14.2, 1.0, -4.6, 4.1),
                               {{-14.4, 4.0}, {-4.4, 4.0}, {-4.9, 4.5}, {-13.9, 4.5}},
                               rect(-4.6, 1.9, -3.8, 2.1)};
    std::vector<polygon> windows;
    for (int k = 0; k < 5; ++k)
        windows.push_back(rect(-13.5 + 1.75 * k, 2.5, -12.5 + 1.75 * k, 3.5));
    slab(g, coach, windows, pl, 2.6);
    for (double z : {-13.0, -11.8, -7.0, -5.8})
        for (double x : {-0.95, 0.95})
            wheel(g, plane_zy(x), {z, 0.55}, 0.55, 0.1, 6, 0.2, 0.08);
    return m;
}

model make_tracks() {
    // One length of railway track seen from above in the side plane the
    // train uses: rails along z at y = 0 and y = -1.5, sleepers across them.
    model m;
    group& g = m.add_group("track");
    for (double y : {0.0, -1.5})
        box(g, {0, y, 0}, {0.12, 0.09, 3.0}, {1, 0, 0}, {0, 1, 0});
    for (int k = 0; k < 6; ++k)
        box(g, {0, -0.75, -2.5 + k}, {0.08, 1.1, 0.17});
    return m;
}

model make_bicycle() {
    // An "American Star": small steering wheel in front (+z), big driving
    // wheel behind with the pedal crank on its hub. Side plane y-z.
    const v3 hub_front{-0.489, 2.13, -0.183};
    const v3 hub_rear{-1.655, 3.0, -4.77};
    const double r_front = 1.75, r_rear = 2.62;
    // Rims, spokes and tubes are drawn thick: the script shows the whole
    // machine about 0.8 units tall, so thin wire would vanish.
    model m;
    wheel(m.add_group("front_wheel"), plane_zy(hub_front.x), {hub_front.z, hub_front.y}, r_front, 0.3, 10,
          0.12, 0.12);
    wheel(m.add_group("rear_wheel"), plane_zy(hub_rear.x), {hub_rear.z, hub_rear.y}, r_rear, 0.34, 12, 0.12,
          0.13);
    {
        group& g = m.add_group("crank");
        p2 c{hub_rear.z, hub_rear.y};
        slab(g,
             {band({c.x, c.y - 0.75}, {c.x, c.y + 0.75}, 0.24, 0.24), circle(c, 0.3, 16),
              rect(c.x - 0.25, c.y - 0.85, c.x + 0.25, c.y - 0.7),
              rect(c.x - 0.25, c.y + 0.7, c.x + 0.25, c.y + 0.85)},
             plane_zy(-0.53), 0.5);
    }
    {
        group& g = m.add_group("frame");
        plane pl = plane_zy(-1.0);
        std::vector<p2> spine;
        bezier(spine, {hub_rear.z, hub_rear.y}, {-4.4, 6.6}, {-1.0, 6.2}, {hub_front.z + 0.4, 4.3}, 16);
        std::vector<polygon> parts = stroke(spine, 0.3);
        parts.push_back(band({hub_front.z + 0.4, 4.3}, {hub_front.z, hub_front.y}, 0.26, 0.26));
        parts.push_back(band({hub_front.z + 0.4, 4.3}, {hub_front.z + 0.7, 5.3}, 0.22, 0.22)); // steerer
        parts.push_back(band({hub_front.z + 0.2, 5.4}, {hub_front.z + 1.2, 5.2}, 0.2, 0.2));   // bars
        parts.push_back({{-3.6, 6.45}, {-2.5, 6.45}, {-2.7, 6.75}, {-3.5, 6.7}});              // saddle
        // The rider: legs down to the crank, torso, arms to the bars, hat.
        parts.push_back(band({-3.1, 6.8}, {-3.9, 4.9}, 0.36, 0.26));
        parts.push_back(band({-3.9, 4.9}, {-4.6, 3.4}, 0.26, 0.2));
        parts.push_back(band({-2.9, 6.8}, {-3.3, 5.0}, 0.36, 0.26));
        parts.push_back(band({-3.3, 5.0}, {-4.9, 2.4}, 0.26, 0.2));
        parts.push_back(band({-3.0, 6.7}, {-2.4, 8.6}, 0.62, 0.55));
        parts.push_back(band({-2.4, 8.4}, {-1.4, 7.3}, 0.22, 0.18));
        parts.push_back(band({-1.4, 7.3}, {hub_front.z + 1.1, 5.4}, 0.18, 0.15));
        parts.push_back(circle({-2.25, 9.15}, 0.36, 20));
        parts.push_back(rect(-2.75, 9.4, -1.75, 9.5));
        parts.push_back(rect(-2.55, 9.45, -1.95, 9.95));
        slab(g, parts, pl, 0.3);
    }
    return m;
}

// ---------------------------------------------------------------- figures

// One pose of the walker: limb outlines in x-y, feet at y = 0, facing +x.
std::vector<polygon> walker_pose(double phase, bool standing) {
    const double thigh = 0.2, shin = 0.19, upper_arm = 0.13, fore_arm = 0.13;
    double root_x = standing ? 0 : walk_cycle_advance * phase;
    double bob = standing ? 0 : 0.008 * std::cos(4 * pi * phase);
    p2 hip{root_x, 0.385 + bob};
    std::vector<polygon> parts;
    auto leg = [&](double leg_phase) {
        // Stance 60 % of the cycle (foot planted, body passes over it),
        // swing 40 % (foot lifted and carried forward).
        double s = leg_phase - std::floor(leg_phase);
        double rel, lift = 0;
        const double reach = walk_cycle_advance * 0.3;
        if (standing) {
            rel = 0;
        } else if (s < 0.6) {
            rel = reach - 2 * reach * (s / 0.6);
        } else {
            double w = (s - 0.6) / 0.4;
            rel = -reach + 2 * reach * (0.5 - 0.5 * std::cos(pi * w));
            lift = 0.06 * std::sin(pi * w);
        }
        p2 ankle{hip.x + rel, 0.045 + lift};
        double dx = ankle.x - hip.x, dy = ankle.y - hip.y,
               d = std::min(std::hypot(dx, dy), thigh + shin - 1e-4);
        double a = std::atan2(dy, dx), k = std::acos((thigh * thigh + d * d - shin * shin) / (2 * thigh * d));
        p2 knee{hip.x + thigh * std::cos(a + k), hip.y + thigh * std::sin(a + k)}; // knee bends forward
        parts.push_back(band(hip, knee, 0.085, 0.065));
        parts.push_back(circle(knee, 0.033, 12));
        parts.push_back(band(knee, ankle, 0.065, 0.045));
        parts.push_back({{ankle.x - 0.03, ankle.y - 0.045},
                         {ankle.x + 0.085, ankle.y - 0.045},
                         {ankle.x + 0.08, ankle.y - 0.01},
                         {ankle.x - 0.02, ankle.y + 0.02}});
    };
    leg(phase);
    leg(phase + 0.5);
    p2 shoulder{hip.x + 0.025, hip.y + 0.225};
    parts.push_back({{hip.x - 0.06, hip.y - 0.02},
                     {hip.x + 0.06, hip.y - 0.02},
                     {shoulder.x + 0.065, shoulder.y + 0.01},
                     {shoulder.x - 0.07, shoulder.y + 0.01}});
    parts.push_back(circle({shoulder.x, shoulder.y}, 0.05, 14));
    parts.push_back(
        band({shoulder.x, shoulder.y}, {shoulder.x + 0.01, shoulder.y + 0.06}, 0.04, 0.04)); // neck
    p2 head{shoulder.x + 0.02, shoulder.y + 0.1};
    parts.push_back(circle(head, 0.05, 18));
    parts.push_back(rect(head.x - 0.075, head.y + 0.025, head.x + 0.075, head.y + 0.04)); // bowler brim
    parts.push_back(circle({head.x, head.y + 0.045}, 0.045, 14));
    auto arm = [&](double swing) {
        p2 elbow{shoulder.x + upper_arm * std::sin(swing), shoulder.y - upper_arm * std::cos(swing)};
        double fore = swing + 0.25 + std::max(0.0, swing) * 0.6;
        p2 hand{elbow.x + fore_arm * std::sin(fore), elbow.y - fore_arm * std::cos(fore)};
        parts.push_back(band(shoulder, elbow, 0.05, 0.042));
        parts.push_back(band(elbow, hand, 0.042, 0.035));
        parts.push_back(circle(hand, 0.024, 10));
    };
    double swing = standing ? 0.05 : 0.45 * std::sin(2 * pi * phase);
    arm(-swing);
    arm(swing);
    return parts;
}

model make_man3() {
    model m;
    slab(m.add_group("stand"), walker_pose(0, true), plane_xy(), 0.03);
    for (int k = 1; k <= 41; ++k)
        slab(m.add_group("walk" + std::to_string(k)), walker_pose((k - 1) / 41.0, false), plane_xy(), 0.03);
    return m;
}

// ---------------------------------------------------------------- text

// A line of text as a slab, centred on the origin in x, its capitals
// centred on y = 0 (or sitting on it with `on_baseline`).
void text_slab(group& g, const std::string& font, const std::string& text, double cap, double thickness,
               int curve_steps, bool on_baseline = false) {
    text_shape t = layout_text(font, text, cap, cap * 0.06, curve_steps);
    for (polygon& c : t.contours)
        for (p2& p : c)
            p = {p.x - t.width / 2, p.y - (on_baseline ? 0 : cap / 2)};
    extrude(g, boundary_nonzero(t.contours), plane_xy(), -thickness / 2, thickness / 2);
}

model make_quorlaxen() {
    model m;
    text_slab(m.add_group("title"), dejavu("DejaVuSans-Bold"), "QUORLAXEN", 2.6, 0.3, 6);
    text_slab(m.add_group("byline"), dejavu("DejaVuSans-Bold"), "TARNWHISK  -  KVT 2007", 0.9, 0.2, 4);
    return m;
}

model make_greetings() {
    static const char* const crews[15] = {"Vantablip", "Orbwright", "Kelpmoth",  "Fizzgrain",  "Lumenvoid",
                                          "Quaddrake", "Pixelmoss", "Tornabell", "Hexagonia",  "Brassnook",
                                          "Zirconaut", "Mellowbit", "Crankwolf", "Sparrowtek", "Nullheron"};
    model m;
    for (int k = 0; k < 15; ++k) {
        std::string name = crews[k];
        text_slab(m.add_group("greet_" + name), dejavu("DejaVuSans-Bold"), name, 0.42, 0.12, 3);
    }
    return m;
}

model make_ak472() {
    // Side view in screen terms; the show mirrors it so the muzzle (-u)
    // points right. The trigger's pivot is (u, v) = (0.96, 0.55).
    model m;
    group& g = m.add_group("rifle");
    plane pl = plane_xz();
    std::vector<polygon> parts{
        {{0.1, 0.55}, {1.95, 0.55}, {1.95, 0.93}, {0.3, 0.99}, {0.1, 0.95}}, // receiver
        rect(-0.78, 0.64, 0.1, 0.9),                                         // handguard
        rect(-0.95, 0.9, 0.1, 0.99),                                         // gas tube
        rect(-2.2, 0.74, -0.78, 0.82),                                       // barrel
        rect(-2.42, 0.72, -2.2, 0.84),                                       // muzzle brake
        {{-1.95, 0.82}, {-1.85, 0.82}, {-1.87, 1.06}, {-1.93, 1.06}},        // front sight
        {{-1.0, 0.82}, {-0.9, 0.82}, {-0.9, 0.99}, {-1.0, 0.95}},            // gas block
        {{0.05, 0.95}, {0.35, 0.95}, {0.3, 1.05}, {0.12, 1.05}},             // rear sight
        {{1.95, 0.6}, {1.95, 0.93}, {3.4, 0.82}, {3.45, 0.32}, {3.3, 0.3}},  // stock
        {{1.25, 0.56}, {1.52, 0.56}, {1.78, 0.0}, {1.52, -0.04}},            // pistol grip
    };
    // The curved magazine.
    polygon mag;
    for (int i = 0; i <= 12; ++i) {
        double t = i / 12.0;
        mag.push_back({0.42 - 0.45 * t * t, 0.56 - 1.0 * t});
    }
    for (int i = 12; i >= 0; --i) {
        double t = i / 12.0;
        mag.push_back({0.86 - 0.35 * t * t, 0.56 - 0.95 * t});
    }
    parts.push_back(mag);
    std::vector<p2> guard{{1.22, 0.56}, {1.22, 0.25}, {0.98, 0.2}, {0.7, 0.25}, {0.66, 0.56}};
    for (const polygon& p : stroke(guard, 0.05))
        parts.push_back(p);
    slab(g, parts, pl, 0.14);
    return m;
}

model make_ak47trigger() {
    // The trigger about its pivot at the origin, curling down (+z) and
    // towards the muzzle.
    model m;
    group& g = m.add_group("trigger");
    std::vector<p2> curve{{0, 0}};
    bezier(curve, {0, 0}, {0.02, -0.15}, {-0.06, -0.28}, {-0.16, -0.32}, 10);
    std::vector<polygon> parts = stroke(curve, 0.06);
    parts.push_back(circle({0, 0}, 0.06, 12));
    slab(g, parts, plane_xz(), 0.06);
    return m;
}

model make_telos() {
    // Half a curtain, covering x <= 0 with a gently waving edge that reaches
    // past the middle, so the two halves overlap when closed.
    model m;
    group& g = m.add_group("curtain");
    polygon p{{-30, -30}};
    for (int i = 0; i <= 120; ++i) {
        double y = -30 + 60.0 * i / 120;
        p.push_back({0.55 + 0.3 * std::sin(y * 0.7) + 0.12 * std::sin(y * 2.3), y});
    }
    p.push_back({-30, 30});
    slab(g, {p}, plane_xy(), 0.2);
    return m;
}

} // namespace

model horn_model() { return make_horn(); }

std::vector<mesh_file> build_meshes() {
    std::vector<mesh_file> out;
    // Each model under the file the scene set-up reads it from.
    auto add = [&](mesh scene_assets::*member, model shape) {
        out.push_back({scene_model_file_of(member).file, std::move(shape)});
    };
    add(&scene_assets::horn, make_horn());
    add(&scene_assets::bicycle, make_bicycle());
    add(&scene_assets::trumpet2, make_trumpet2());
    add(&scene_assets::trumpet_plhktra, make_trumpet_valves());
    add(&scene_assets::helicopter, make_helicopter());
    add(&scene_assets::tuba, make_tuba());
    add(&scene_assets::razor, make_razor());
    add(&scene_assets::boat, make_boat());
    add(&scene_assets::gaza, make_gaza());
    add(&scene_assets::trumpet, make_trumpet());
    add(&scene_assets::kwnos, make_kwnos());
    add(&scene_assets::cycle2, make_cycle2());
    add(&scene_assets::engine, make_engine());
    add(&scene_assets::side, make_side());
    add(&scene_assets::hourglass, make_hourglass());
    add(&scene_assets::telos, make_telos());
    add(&scene_assets::trombone, make_trombone());
    add(&scene_assets::flute, make_flute());
    add(&scene_assets::tracks, make_tracks());
    add(&scene_assets::greetings2, make_greetings());
    add(&scene_assets::ak472, make_ak472());
    add(&scene_assets::ak47trigger, make_ak47trigger());
    add(&scene_assets::quorlaxen, make_quorlaxen());
    add(&scene_assets::truck, make_truck());
    add(&scene_assets::train, make_train());
    add(&scene_assets::gennhtria, make_gennhtria());
    add(&scene_assets::teras, make_teras());
    add(&scene_assets::man3, make_man3());
    // A model the set-up loads and the forge does not make would stop the show.
    for (const scene_model_file& entry : scene_model_files) {
        bool made = false;
        for (const mesh_file& m : out)
            made = made || m.name == entry.file;
        if (!made) throw std::runtime_error(std::string("no model made for ") + entry.file);
    }
    return out;
}

} // namespace forge
