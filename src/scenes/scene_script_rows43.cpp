// Rows 43 to 65 of the scene script: razors cutting curved lines, falling
// trombones, the monster machine, roads and railway tracks, greetings, boats
// on a rising sea, the finale with the gun, the parade of instruments, the
// bicycle, the helicopter and the telos halves; the table of these rows with
// their windows is at the end. Run right after row 42 in the same frame;
// every row reseeds the shared generator before any random layout. Row 59 writes part.script_anchor,
// which camera_3 follows in the next frame.
#include "scenes/scene_script_rows43.h"

#include "gl/gl.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "math/gl_helpers.h"
#include "math/random.h"
#include "resources/resources.h"
#include "scenes/doodles.h"
#include "scenes/scene_script.h"
#include "scenes/scene_times.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// The four razor sets. Row 43's start is the table's; the later sets start
// where camera_3's base pose looks when each opens, at the same offset.
constexpr razor_set razor_sets[4] = {
    {424246, 127.0, 164.0, 5.0, 2.0, 128.7, 25.8, 4.0, 1e9},
    {424266, 135.0, 165.0, 5.0, 2.0, 136.7, 34.6, 14.7, 148.0},
    {424286, 160.0, 175.0, 10.0, 10.0, 161.7, 62.1, 26.7, 177.0},
    {424306, 170.0, 200.0, 5.0, 5.0, 171.7, 73.1, 25.8, 185.0},
};

constexpr double road_end_times[20] = {130.5, 120.5, 121.5, 122.5, 131.5, 127.5, 125.5, 125.5, 124.5, 129.5,
                                       123.5, 129.5, 119.5, 120.5, 119.5, 121.0, 119.8, 126.5, 121.5, 122.0};

// Inner dot colours of row 51 (the last one is clamped by GL).
constexpr float inner_dot_colours[3][3] = {{0.3f, 0.8f, 1.0f}, {1.0f, 1.0f, 0.0f}, {1.5f, 1.0f, 1.5f}};

constexpr double wheel_end_times[6] = {50.0, 50.7, 49.0, 48.8, 50.8, 48.8};

// Bicycle hubs in model units: rear wheel, front wheel, crank (its depth
// lies between the wheels).
constexpr float bicycle_hubs[3][3] = {
    {-0.489f, 2.13f, -0.183f}, {-1.655f, 3.0f, -4.77f}, {-0.53f, 3.0f, -2.4f}};

void translate(double x, double y, double z) { glTranslatef(float(x), float(y), float(z)); }
void rotate(double degrees, float x, float y, float z) { glRotatef(float(degrees), x, y, z); }

// Turns a part about the axis through `pivot`.
void about_pivot(const float pivot[3], double degrees, float x, float y, float z) {
    glTranslatef(pivot[0], pivot[1], pivot[2]);
    rotate(degrees, x, y, z);
    glTranslatef(-pivot[0], -pivot[1], -pivot[2]);
}

// Orange light first, the black silhouette over what it has not reached.
// --- rows 43 to 46: razors ---

void razors(scene_assets& part, const script_frame& f, const razor_set& set) {
    const double T = f.T;
    show_srand(set.seed);
    glDisable(GL_BLEND);
    glPushMatrix();
    apply_camera(part.camera_3);
    const double count = razor_cut_count(set, T);
    path cut;
    for (int k = 0; k < count; ++k) {
        build_razor_cut(set, k, cut);
        const double u = razor_position(set, k, T);
        glColor3f(0.0f, 0.0f, 0.0f);
        draw_cut(cut, 0.0, u, 0.0, 0.2);
        if (T > 120.0 && T < 165.0) {
            // The shaded strip the blade has just passed over.
            glDisable(GL_CULL_FACE);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(0.0f, 0.0f, 0.0f, 0.18f);
            draw_ribbon(cut, 0.0, u, 0.2, 0.2, nullptr);
            glDisable(GL_BLEND);
            glColor3f(0.0f, 0.0f, 0.0f);
        }
        if (T < set.razor_until) {
            const Vec3 at = evaluate(cut, float(u));
            Vec3 t = evaluate(cut, float(u + 1.0)) - at;
            normalize(t);
            const Vec3 z = make_vec3(0.0f, 0.0f, 1.0f);
            glPushMatrix();
            place_with_basis(at, t ^ z, t, z);
            glScalef(0.4f, 0.4f, 0.4f);
            rotate(90.0, 1.0f, 0.0f, 0.0f);
            glEnable(GL_CULL_FACE);
            part.razor.draw();
            glDisable(GL_CULL_FACE);
            glPopMatrix();
        }
    }
    glPopMatrix();
}

// --- rows 47 to 49: trombones ---

void trombone_at(scene_assets& part, double x, double y, double z, float mirror) {
    begin_solid(part.camera_3);
    translate(x, y, z);
    glScalef(mirror, 1.0f, 0.0f);
    rotate(90.0, 1.0f, 0.0f, 0.0f);
    part.trombone.draw();
    end_solid();
}

void falling_trombones(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    show_srand(242342323);
    const double count = falling_trombone_count(T);
    if (count <= 0.0) return;
    begin_solid(part.camera_3);
    for (int k = 0; k < count && k < 8; ++k) {
        const double rx = rand01(), ry = rand01(), rz = rand01(), speed = rand01(), spin = rand01();
        double y = 34.0 + 2.0 * ry - 0.6 * (1.0 + 0.4 * speed) * (T - 145.0);
        if (k == 7) y -= 6.6;
        glPushMatrix();
        translate(40.0 * rx + 40.0, y, 15.0 * rz);
        rotate((2.0 * spin - 1.0) * 10.0 * T, 0.0f, 0.0f, 1.0f);
        glScalef(0.3f, 0.3f, 0.0f);
        part.trombone.draw();
        glPopMatrix();
    }
    end_solid();
}

// --- row 50: the monster machine ---

void monster_machine(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    show_srand(424244);
    const mesh& teras = part.teras;
    begin_solid(part.camera_3);
    translate(26.0, 1.2, 0.0);
    glScalef(1.6f, 1.6f, 1.6f);
    rotate(90.0, 1.0f, 0.0f, 0.0f);

    // The arm swings round its pivot and carries the hanging gaza.
    glPushMatrix();
    constexpr float arm_pivot[3] = {-1.63f, 0.0f, -2.846f};
    about_pivot(arm_pivot, 90.0 * ease(f.ramp(128.0, 0.3), 1), 0.0f, 1.0f, 0.0f);
    glPushMatrix();
    translate(0.14, 0.0, 0.14);
    draw_group(teras, 0);
    glPopMatrix();
    glPushMatrix();
    translate(0.0, 0.0, 15.846);
    glScalef(0.8f * 0.5f, 0.5f, 0.5f);
    part.gaza.draw();
    glPopMatrix();
    glPopMatrix();

    // The furnace: black, then again in orange at the same place.
    draw_group(teras, 8);
    glColor3f(1.0f, 0.5f, 0.0f);
    draw_group(teras, 8);

    // Pistons: each group pumps on its own small delay; group 5 is red.
    for (const int g : {1, 2, 3, 5, 4}) {
        const double delay = 0.4 * rand01();
        const double e = ease(f.envelope(123.0 + delay, 0.4, 127.0 + delay, 0.3), 1) - 0.5;
        glPushMatrix();
        translate(0.0, 0.0, 0.6 * e);
        glScalef(1.0f, 1.0f, float(1.0 + 0.5 * e));
        glColor3f(g == 5 ? 1.0f : 0.0f, 0.0f, 0.0f);
        draw_group(teras, g);
        glPopMatrix();
    }
    // Two white valves riding up and down in turn.
    const double e = ease(f.envelope(123.0, 0.4, 127.0, 0.3), 1) - 0.5;
    glColor3f(1.0f, 1.0f, 1.0f);
    for (int g = 6; g <= 7; ++g) {
        glPushMatrix();
        translate(0.0, 0.0, (g == 6 ? 0.8 : -0.8) * e + 0.15 * std::sin(6.0 * T + g));
        draw_group(teras, g);
        glPopMatrix();
    }
    end_solid();
}

// --- row 51: the blue dot field ---

void blue_dot_field(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(part.camera_3);
    show_srand(42424242);
    reset_draw_state();
    glDisable(GL_CULL_FACE);
    glScalef(0.03f, 0.03f, 0.03f);
    // The field is eaten from the top once the camera moves on.
    const int top = 95 - int(std::floor(6.0 * std::max(T - 103.0, 0.0)));
    const dot_view view = current_dot_view();
    constexpr float black[3] = {0.0f, 0.0f, 0.0f};
    constexpr double widest = 2.0; // a dot's half extent at full size
    for (int r = -35; r < top; ++r) {
        // A row wholly outside the view is passed over: each row seeds its
        // own pattern, so the rows after it stay as they are.
        const double y = 4.5 * r;
        if (!box_in_view(view, make_vec3(float(4.5 * -32 - widest), float(y - widest), 0.0f),
                         make_vec3(float(4.5 * 211 + widest), float(y + widest), 0.0f)))
            continue;
        show_srand(uint32_t(r + 45 - 60724999));
        for (int c = -32; c < 212; ++c) {
            const double wave = clamp01(0.5 * (T - 93.0) - 0.01 * c);
            const dot_cell cell = first_field_cell(T, wave, 1e9, 1.0);
            const int colour = std::min(int(3.0 * rand01()), 2);
            const bool lit = rand01() < 0.5;
            if (cell.u < 0.001 || cell.size <= 0.0) continue;
            const double x = 4.5 * c;
            // A dot outside the view, or one covering less than a pixel at
            // this view's size, is left out.
            if (!dot_in_view(view, x, y, cell.size, cell.squash) ||
                !dot_covers_a_pixel(view, f.W, f.H, x, y, cell.size, cell.squash)) {
                // The colour a drawn dot leaves current stays what later rows see.
                leave_colour(part.dots, lit ? inner_dot_colours[colour] : black);
                continue;
            }
            add_dot(part.dots, x, y, cell.size, cell.squash, list_decagon, black);
            if (!lit) continue;
            if (dot_covers_a_pixel(view, f.W, f.H, x, y, 0.5 * cell.size, cell.squash))
                add_dot(part.dots, x, y, 0.5 * cell.size, cell.squash, list_decagon,
                        inner_dot_colours[colour]);
            else
                leave_colour(part.dots, inner_dot_colours[colour]);
        }
    }
    draw_dots(part.dots);
    glPopMatrix();
}

// --- rows 52 to 54: roads, tracks and the train on them ---

void roads(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(part.camera_3);
    show_srand(4234234);
    glDisable(GL_BLEND);
    glScalef(0.15f, 0.15f, 0.15f);
    for (int i = 0; i < 20; ++i) {
        rand01();
        const std::string commands = meander_commands(40, 0.09, i % 2 == 0 ? 1 : -1) + "l*************";
        const double end = std::min((rand01() + 1.0) * 30.0 * (T - 115.0), 500.0);
        if (T > road_end_times[i]) continue;
        glPushMatrix();
        translate(22.0, 2.0 * (i - 10), 0.0);
        draw_road(commands, end, 0.3, 0.0);
        glPopMatrix();
    }
    glPopMatrix();
}

void railway(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(part.camera_3);
    glScalef(0.4f, 0.4f, 0.4f);
    show_srand(2554819456u);
    translate(-34.0, 0.0, 0.0);
    glColor3f(0.0f, 1.0f, 1.0f);
    for (int k = 0; k < 10; ++k) {
        // Two sets: 70-character lines laid from T = 126.8, 67-character
        // lines laid from T = 112 and gone after T = 130. Stroke 5 is the
        // straight line at y = 2 the train of row 54 runs on.
        const bool late = k % 2 == 0;
        const int length = late ? 70 : 67;
        std::string commands;
        int direction = k % 4 < 2 ? 1 : -1;
        for (int i = 0; i < length; ++i) {
            if (k != 5 && i >= 7 && rand01() < 0.12) {
                commands += direction > 0 ? 'l' : 'r';
                direction = -direction;
            } else {
                commands += '*';
            }
        }
        const double speed = 50.0 * rand01() + 150.0;
        const double start_time = late ? 126.8 : 112.0;
        if ((late && T <= 126.8) || (!late && T > 130.0)) continue;
        glPushMatrix();
        translate(0.0, 2.0 + 5.0 * (k - 5), 0.0);
        draw_track_line(commands, speed * (T - start_time), 0.5, 0.0);
        glPopMatrix();
    }
    glPopMatrix();
}

void train_on_rails(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    begin_solid(part.camera_3);
    translate(3.0 * (T - 125.0) + 15.8, 0.8, 0.0);
    glScalef(0.09f, 0.09f, 0.0f);
    rotate(90.0, 0.0f, 1.0f, 0.0f);
    part.train.draw();
    end_solid();
}

// --- row 55: greetings ---

void greetings(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    show_srand(424244);
    begin_solid(part.camera_3);
    glScalef(2.0f, 2.0f, 2.0f);
    for (int k = 0; k < 15; ++k) {
        const double drift = -3.2 * (1.0 + 0.1 * rand01()) * (T - 98.0);
        const double y = 1.4 * (2.0 * rand01() - 1.0);
        const double z = 1.5 * rand01();
        if (!greeting_shown(k, T)) continue;
        glPushMatrix();
        translate(4.0 * k + drift, y, z);
        draw_group(part.greetings2, k);
        glPopMatrix();
    }
    end_solid();
}

// --- row 56: wheels raining down ---

void falling_wheels(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    show_srand(4234250);
    const double count = falling_wheel_count(T);
    if (count <= 0.0) return;
    begin_solid(part.camera_1);
    for (int k = 0; k < count && k < 8; ++k) {
        const double rx = rand01(), ry = rand01(), rz = rand01(), spin = rand01();
        if (!falling_wheel_shown(k, T)) continue;
        glPushMatrix();
        translate(200.0 * rx - 100.0, 250.0 * ry + 130.0 - 70.0 * (T - 42.0), 350.0 * rz + 50.0);
        glScalef(9.0f, 9.0f, 9.0f);
        // Spinning in the plane camera 1 looks at.
        rotate((2.0 * spin - 1.0) * 400.0 * T, 0.0f, 0.0f, 1.0f);
        part.cycle2.draw();
        glPopMatrix();
    }
    end_solid();
}

// --- rows 57 to 59: boats on the rising sea ---

void boat(scene_assets& part, double x, double y, double z, double bob, double rock, bool turned) {
    begin_solid(part.camera_3);
    translate(x, y + bob, z);
    rotate(rock, 0.0f, 0.0f, 1.0f);
    glScalef(0.15f, 0.15f, 0.15f);
    rotate(90.0, 0.0f, 1.0f, 0.0f);
    if (turned) rotate(180.0, 0.0f, 1.0f, 0.0f);
    translate(0.0, -1.0, 0.0);
    part.boat.draw();
    end_solid();
}

void boat_first(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    boat(part, 1.6 * (T - 164.0) + 57.8, 24.4, 9.0, 0.2 * std::cos(3.0 * T + 0.2),
         5.0 * std::sin(3.0 * T) + 3.2, false);
}

void boat_second(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    boat(part, 90.8 - 1.6 * (T - 164.0), 20.4 + 4.0 * response_curve(f.since(174.0) * 0.5), 15.0,
         0.2 * std::cos(2.7 * T + 0.2), 5.0 * std::sin(2.7 * T) + 3.2, true);
}

// The boat the camera rides with: it rises on the swell of the sea.
void boat_riding(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    const double stretch = 1.0 + 0.8 * ease(f.ramp(175.0, 0.25), 1);
    const Vec3 anchor = boat_anchor(T);
    begin_solid(part.camera_3);
    const Vec3 place = riding_boat_place(T);
    glTranslatef(place.x, place.y, place.z);
    glScalef(0.15f, float(0.15 * stretch), 0.15f);
    rotate(90.0, 0.0f, 1.0f, 0.0f);
    translate(0.0, -1.0, 0.0);
    part.boat.draw();
    end_solid();
    part.script_anchor = anchor;

    if (T > 172.0 && T < 186.0) {
        glPushMatrix();
        apply_camera(part.camera_3);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glColor3f(0.0f, 0.0f, 0.0f);
        translate(anchor.x, -sea_drop(T), anchor.z);
        glBegin(GL_QUADS);
        glVertex3f(-1000.0f, 0.0f, -1000.0f);
        glVertex3f(1000.0f, 0.0f, -1000.0f);
        glVertex3f(1000.0f, 0.0f, 1000.0f);
        glVertex3f(-1000.0f, 0.0f, 1000.0f);
        glEnd();
        glPopMatrix();
    }
}

// --- row 60: the hourglass glowing at anchor 1 ---

void hourglass(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(context.context_camera);
    glDisable(GL_CULL_FACE);
    translate(part.anchor_1.x, part.anchor_1.y - 339.2, part.anchor_1.z);
    rotate((5.0 - 5.0 * f.ramp(40.0, 1.0)) * 0.6 + 0.6, 0.0f, 0.0f, 1.0f);
    glScalef(-238.0f, 238.0f, 238.0f);
    model_glow(part, context, part.hourglass, 100.0, 100.0);
    glPopMatrix();
}

// --- row 61: the hexagons return ---

void hexagon_reprise(scene_assets& part, show_context&, const script_frame& f) {
    glPushMatrix();
    apply_camera(part.camera_2);
    show_srand(42424242);
    reset_draw_state();
    glDisable(GL_CULL_FACE);
    // Laid out ahead of camera_2, which crosses it from T = 213 on.
    translate(42.4, 4.0, 0.0);
    glScalef(0.08f, 0.08f, 0.08f);
    hexagon_field_params params;
    params.wave_rate = 0.25;
    params.wave_start = 213.0;
    params.shrink_start = 229.0;
    params.size_factor = 0.15;
    draw_hexagon_field(f, params, part.dots);
    glPopMatrix();
}

// --- row 62: the wave band ---

void wave_band(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    apply_camera(part.camera_2);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    translate(0.0, wave_band_lift(T), 0.0);
    glBegin(GL_QUAD_STRIP);
    for (int i = -100; i < 1000; ++i) {
        const float x = float(5.0 * (i - 50) / 100.0);
        const float y = float(wave_band_height(i, T));
        glVertex3f(x, y, 0.0f);
        glVertex3f(x, y - 10.5f, 0.0f);
    }
    glEnd();
    glPopMatrix();
}

// --- row 63: the finale, all through camera_2 ---

void gun(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    const double recoil = gun_recoil(T);
    glPushMatrix();
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    translate(finale_track_x(T) + 1.2 - 0.35 * recoil, gun_height(T), 0.0);
    rotate(24.0 * ease(f.ramp(196.0, 0.4), 1) + 7.0 * recoil, 0.0f, 0.0f, 1.0f);
    rotate(90.0, 1.0f, 0.0f, 0.0f);
    glScalef(-2.4f, 0.0f, 2.4f);
    part.ak472.draw();
    if (T < 214.0) {
        translate(0.96, 0.0, -0.55);
        rotate(-35.0 * recoil, 0.0f, 1.0f, 0.0f);
        part.ak47trigger.draw();
    }
    glDisable(GL_CULL_FACE);
    glPopMatrix();
}

// One instrument of the parade: turned in the picture plane, flattened and
// stood up to show its side.
void parade_piece(mesh& model, double x, double y, double z, double angle, float size, float lift) {
    glPushMatrix();
    translate(x, y, z);
    rotate(angle, 0.0f, 0.0f, 1.0f);
    glScalef(size, size, size);
    glScalef(-1.0f, 1.0f, 0.0f);
    rotate(90.0, 1.0f, 0.0f, 0.0f);
    glScalef(lift, lift, lift);
    model.draw();
    glPopMatrix();
}

void parade(scene_assets& part, show_context& context, const script_frame& f) {
    const double T = f.T;
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    if (T > 213.0 && T < 224.0) parade_piece(part.trumpet, 54.0, 0.0, 3.0, -23.8, 0.3f, 2.6f);
    if (T > 215.0 && T < 228.0) parade_piece(part.flute, 70.0, 1.8, 1.0, -323.8, 0.3f, 2.2f);
    if (T > 215.0 && T < 231.0) parade_piece(part.flute, 64.0, 1.8, 4.0, -533.8, 0.3f, 2.2f);
    if (T > 221.0 && T < 236.0) parade_piece(part.trumpet, 86.0, 1.8, 3.0, -887.8, 0.25f, 2.2f);
    if (T > 222.0 && T < 232.0) {
        glPushMatrix();
        translate(81.0, 9.8, 2.0);
        rotate(-681.8, 0.0f, 0.0f, 1.0f);
        glScalef(0.3f, 0.3f, 0.3f);
        glScalef(-1.0f, 1.0f, 0.0f);
        glScalef(2.2f, 2.2f, 2.2f);
        // The horn lights up as it enters and goes dark as it leaves.
        const double g = 10.0 * (f.ramp(222.0, 0.5) - f.ramp(230.0, 0.5));
        model_glow(part, context, part.horn, g - 3.0, g);
        glPopMatrix();
        glEnable(GL_CULL_FACE);
        glColor3f(0.0f, 0.0f, 0.0f);
    }
    glDisable(GL_CULL_FACE);
}

void closing_tracks(scene_assets&, show_context&, const script_frame& f) {
    show_srand(4234234);
    glPushMatrix();
    glDisable(GL_BLEND);
    glColor3f(0.0f, 0.0f, 0.0f);
    translate(104.0, 1.8, 3.0);
    glScalef(0.09f, 0.09f, 0.09f);
    draw_track_line_set(f, 242.0 - 7.6, 134, -1.0, 0.5);
    glPopMatrix();
}

void bicycle(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    translate(bicycle_x(T), 1.8, 3.0);
    glScalef(0.2f, 0.2f, 0.2f);
    glScalef(0.4f, 0.4f, 0.0f);
    rotate(90.0, 0.0f, 1.0f, 0.0f);
    for (int g = 0; g < 3; ++g) {
        glPushMatrix();
        about_pivot(bicycle_hubs[g], bicycle_wheel_angle(T), 1.0f, 0.0f, 0.0f);
        draw_group(part.bicycle, g);
        glPopMatrix();
    }
    draw_group(part.bicycle, 3);
    glDisable(GL_CULL_FACE);
    glPopMatrix();
}

void closing_train(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    glPushMatrix();
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    // Seen head-on, close behind the cyclist.
    translate(bicycle_x(T) - 5.0, 1.4, 2.0);
    glScalef(0.8f, 0.8f, 0.8f);
    glScalef(-0.4f, 0.4f, 0.0f);
    part.train.draw();
    glDisable(GL_CULL_FACE);
    glPopMatrix();
}

void bent_tracks(const script_frame& f, unsigned seed, double tilt) {
    const double T = f.T;
    show_srand(seed);
    glPushMatrix();
    glDisable(GL_BLEND);
    rotate(tilt, 0.0f, 0.0f, 1.0f);
    glScalef(0.1f, 0.1f, 0.1f);
    for (int k = 0; k < 18; ++k) {
        std::string commands;
        for (int i = 0; i < 70; ++i) {
            if (rand01() < 0.28)
                commands += rand01() < 0.5 ? 'l' : 'r';
            else
                commands += '*';
        }
        const double end = (rand01() + 1.0) * 52.5 * (T - 213.0);
        glPushMatrix();
        translate(638.6 + 9.0 * k, 2.65, -20.0);
        rotate(95.0, 0.0f, 0.0f, 1.0f);
        bend_offset = 0.0013;
        draw_bent_track_line(commands, end, 0.4, 0.0);
        glPopMatrix();
    }
    glPopMatrix();
}

void helicopter(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    const double shrink = 1.0 - f.ramp(229.0, 0.3);
    if (shrink <= 0.0) return;
    glPushMatrix();
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    translate(part.anchor_3.x, part.anchor_3.y, part.anchor_3.z);
    // Noses down as it leaves.
    rotate(25.0 * ease(f.ramp(223.0, 0.3), 1), 1.0f, 0.0f, 0.0f);
    glScalef(float(shrink), float(shrink), float(shrink));
    rotate(180.0, 0.0f, 0.0f, 1.0f);
    rotate(90.0, 1.0f, 0.0f, 0.0f);
    glScalef(0.1f, 0.1f, 0.1f);
    draw_group(part.helicopter, 0);
    rotate(rotor_angle(T), 0.0f, 1.0f, 0.0f);
    draw_group(part.helicopter, 1);
    glDisable(GL_CULL_FACE);
    glPopMatrix();
}

void razor_rain(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    show_srand(4243);
    const double count = 150.0 * f.ramp(179.0, 0.12);
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    for (int k = 0; k < count; ++k) {
        const double x = 44.0 * rand01() - 8.0;
        const double z = -6.0 * rand01();
        const double y0 = 2.0 + 6.0 * rand01();
        const double fall = 0.3 * (1.5 * rand01() + 1.0);
        const double spin = 30.0 * (rand01() + 1.0);
        // The axis's y is drawn before its x: the order these frames were
        // made in, written out so that every compiler keeps it.
        const double axis_y = 2.0 * rand01() - 1.0;
        const double axis_x = 2.0 * rand01() - 1.0;
        const Vec3 axis = make_vec3(float(axis_x), float(axis_y), 1.0f);
        const double tumble = 40.0 * (rand01() + 0.5);
        glPushMatrix();
        translate(x, y0 - fall * (T - 190.0), z);
        rotate(spin * T, 0.0f, 0.0f, 1.0f);
        rotate(tumble * T, axis.x, axis.y, axis.z);
        glScalef(0.2f, 0.2f, 0.2f);
        part.razor.draw();
        glPopMatrix();
    }
    glDisable(GL_CULL_FACE);
}

void tumbling_gennhtria(scene_assets& part, show_context&, const script_frame& f) {
    const double T = f.T;
    show_srand(42423427);
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    for (int k = 0; k < 12; ++k) {
        const double x = 40.0 * rand01() - 4.0;
        const double y = 4.0 * rand01() - 1.0;
        const double z = -4.0 * rand01() - 1.0;
        const double drift = 0.15 * (2.0 * rand01() - 1.0);
        // The axis's y is drawn before its x: the order these frames were
        // made in, written out so that every compiler keeps it.
        const double axis_y = 2.0 * rand01() - 1.0;
        const double axis_x = 2.0 * rand01() - 1.0;
        const Vec3 axis = make_vec3(float(axis_x), float(axis_y), 1.0f);
        const double rate = 30.0 + 60.0 * rand01();
        glPushMatrix();
        translate(x, y + drift * (T - 190.0), z);
        rotate(rate * T, axis.x, axis.y, axis.z);
        glScalef(0.4f, 0.4f, 0.4f);
        draw_group(part.gennhtria, 0);
        rotate(-2.0 * rate * T, 0.0f, 0.0f, 1.0f);
        draw_group(part.gennhtria, 1);
        glPopMatrix();
    }
    glDisable(GL_CULL_FACE);
}

// Row 63: the finale's rows draw through camera 2, unblended.
void finale_setup(scene_assets&, show_context&, const script_frame&) { glDisable(GL_BLEND); }

void tuba(scene_assets& part, show_context&, const script_frame&) {
    glPushMatrix();
    glEnable(GL_CULL_FACE);
    glColor3f(0.0f, 0.0f, 0.0f);
    translate(100.0, 0.0, 7.0);
    glScalef(2.6f, 2.6f, 2.6f);
    part.tuba.draw();
    glDisable(GL_CULL_FACE);
    glPopMatrix();
}

void bent_track_sets(scene_assets&, show_context&, const script_frame& f) {
    if (f.T > 215.0) bent_tracks(f, 4234245, 0.0);
    if (f.T > 220.0 && f.T < 232.0) bent_tracks(f, 424227, -1.6);
}

// Each of the finale's rows as the table calls it: through camera 2.
template <void (*draw)(scene_assets&, show_context&, const script_frame&)>
void through_camera_2(scene_assets& part, show_context& context, const script_frame& f) {
    glPushMatrix();
    apply_camera(part.camera_2);
    draw(part, context, f);
    glPopMatrix();
}

// --- rows 64 and 65: the telos halves ---

// Apart by the row's offset curve at T, the view's up vector leaning to
// up_x (the opening halves are seen tilted the other way).
template <double (*offset_at)(double), int up_x>
void telos_halves(scene_assets& part, show_context&, const script_frame& f) {
    const double offset = offset_at(f.T);
    glPushMatrix();
    reset_draw_state();
    glColor3f(0.0f, 0.0f, 0.0f);
    glDisable(GL_CULL_FACE);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 30.0, 0.0, 0.0, 0.0, double(up_x), 1.0, 0.0);
    glPushMatrix();
    translate(offset, 1.0, 0.0);
    part.telos.draw();
    glPopMatrix();
    glPushMatrix();
    glScalef(-1.0f, 1.0f, 1.0f);
    translate(offset, 0.0, 0.0);
    part.telos.draw();
    glPopMatrix();
    glPopMatrix();
}

template <int k> void razor_row(scene_assets& part, show_context&, const script_frame& f) {
    razors(part, f, razor_sets[k]);
}
template <int k> constexpr row_window razor_window = between(razor_sets[k].from, razor_sets[k].to);

// Rows 47 and 48: a trombone standing at x, z, rising by its height curve.
struct standing_trombone {
    double (*height)(double T);
    double x, z;
    float mirror;
};
constexpr standing_trombone trombone_row_47 = {trombone_47_height, 60.0, 9.0, 1.0f};
constexpr standing_trombone trombone_row_48 = {trombone_48_height, 80.0, 15.0, -1.0f};
template <const standing_trombone& t>
void trombone_row(scene_assets& part, show_context&, const script_frame& f) {
    trombone_at(part, t.x, t.height(f.T), t.z, t.mirror);
}

constexpr script_row rows_43_to_65[] = {
    {"43", razor_window<0>, razor_row<0>},
    {"44", razor_window<1>, razor_row<1>},
    {"45", razor_window<2>, razor_row<2>},
    {"46", razor_window<3>, razor_row<3>},
    {"47", between(145.0, 187.0), trombone_row<trombone_row_47>},
    {"48", between(168.0, 186.0), trombone_row<trombone_row_48>},
    {"49", always, falling_trombones},
    {"50", between(115.0, 135.0), monster_machine},
    {"51", between(93.0, 124.0), blue_dot_field},
    {"52", between(113.0, 133.0), roads},
    {"53", between(112.0, 135.0), railway},
    {"54", between(120.0, 130.0), train_on_rails},
    {"55", between(95.0, 123.5), greetings},
    {"56", always, falling_wheels},
    {"57", between(160.0, 177.0), boat_first},
    {"58", between(162.0, 178.0), boat_second},
    {"59", between(170.0, 210.56), boat_riding},
    {"60", closed_open(39.55, 44.0), hourglass},
    {"61", between(210.2, 236.0), hexagon_reprise},
    {"62", between(183.5, 219.0), wave_band},
    {"63", after(179.0), finale_setup},
    {"63a", open_closed(191.0, 217.0), through_camera_2<gun>},
    {"63b", between(228.0, 240.0), through_camera_2<tuba>},
    {"63c", after(210.0), through_camera_2<parade>},
    {"63d", after(235.0), through_camera_2<closing_tracks>},
    {"63e", between(235.1, 242.958), through_camera_2<bicycle>},
    {"63f", after(238.1), through_camera_2<closing_train>},
    {"63g", between(210.0, 233.0), through_camera_2<bent_track_sets>},
    {"63h", between(211.0, 233.0), through_camera_2<helicopter>},
    {"63i", between(179.0, 211.0), through_camera_2<razor_rain>},
    {"63j", between(179.0, 218.0), through_camera_2<tumbling_gennhtria>},
    {"64", after(238.0), telos_halves<telos_offset_closing, 1>},
    {"65", before(5.0), telos_halves<telos_offset_opening, -1>},
};

} // namespace

// --- formulas ---

double telos_offset_opening(double T) { return 10.0 * -2.0 * ease(script_ramp(T, -1.6, 0.15), 2); }
double telos_offset_closing(double T) { return 10.0 * -2.0 * ease(1.0 - script_ramp(T, 242.8, 0.75), 2); }

const razor_set& razor_set_of_row(int row) { return razor_sets[std::clamp(row - 43, 0, 3)]; }

double razor_cut_count(const razor_set& set, double T) {
    return (T > 150.0 ? set.later_count : set.count) * script_ramp(T, set.from, 1.0);
}

double razor_position(const razor_set& set, int k, double T) {
    return 19.0 * std::max(T - set.grow_start - 0.2 * k, 0.0);
}

void build_razor_cut(const razor_set& set, int k, path& out) {
    reset(out);
    out.looped = false;
    Vec3 position = make_vec3(float(k % 5 + set.x0), float(set.y0), 0.0f);
    Vec3 heading = make_vec3(0.0f, 0.1f, 0.0f);
    auto step = [&](double turn) {
        position = position + heading;
        rotate_euler(heading, 0.0, 0.0, turn);
        append_point(out, position);
    };
    for (int i = 0; i < 500; ++i) {
        step(k == 1 && i >= 100 ? 0.0 : -0.02);
        if (rand01() < 0.1) {
            const double bend = 0.04 * (2.0 * rand01() - 1.0);
            for (int j = 0; j < 10; ++j)
                step(bend);
        }
    }
}

double trombone_47_height(double T) { return 4.0 * response_curve(std::max((T - 175.0) * 0.5, 0.0)) + 24.0; }
double trombone_48_height(double T) { return 4.0 * response_curve(std::max((T - 174.0) * 0.5, 0.0)) + 20.0; }
double falling_trombone_count(double T) {
    return 8.0 * (script_ramp(T, 145.0, 1.0) - script_ramp(T, 165.0, 1.0));
}

double road_end_time(int i) { return i >= 0 && i < 20 ? road_end_times[i] : 0.0; }

bool greeting_shown(int k, double T) { return k == 6 || k == 11 || T <= 123.5 - 0.9 * (15 - k); }

double falling_wheel_count(double T) { return 8.0 * (script_ramp(T, 42.0, 2.0) - script_ramp(T, 52.0, 2.0)); }
bool falling_wheel_shown(int k, double T) { return k < 1 || k > 6 || T < wheel_end_times[k - 1]; }

Vec3 riding_boat_place(double T) { return make_vec3(float(2.6 * (T - 164.0) + 40.8), 17.4f, 20.0f); }

Vec3 boat_anchor(double T) {
    Vec3 anchor = riding_boat_place(T);
    anchor.y = float(17.4 - 0.7 * std::clamp(T - 185.0, 0.0, 1.0));
    anchor.state = 1;
    return anchor;
}

double sea_drop(double T) {
    double drop = (1.0 - ease(script_ramp(T, 172.2, 0.2), 1)) * 700.0 + 23.0;
    if (T > 185.0) drop += 5.2 * (T - 185.0);
    return drop;
}

double wave_band_height(int i, double T) {
    const double a = 0.6 * T;
    const double s1 = std::sin(a + i / 50.0);
    const double s2 = 0.5 * s1 * std::sin(3.0 * s1 + a);
    return 0.5 * s2 * std::sin(2.8 * T + 4.0 * s2);
}

double wave_band_lift(double T) { return 0.1 - 0.4 * (1.0 - ease(script_ramp(T, 183.5, 0.35), 1)); }

double finale_track_x(double T) {
    return (T - 184.0) + 4.32 * response_curve(std::max((T - 210.0) * 0.5, 0.0)) +
           3.6 * response_curve(std::max((T - 235.0) * 0.25, 0.0));
}

double gun_height(double T) { return 1.4 - 4.6 * (1.0 - ease(script_ramp(T, 192.6, 0.5), 1)); }

double gun_recoil(double T) {
    double recoil = 0.0;
    for (const double shot : gun_shot_times)
        recoil += script_ramp(T, shot, 4.5) - script_ramp(T, shot + 0.25, 4.5);
    return recoil;
}

double rotor_angle(double T) {
    // Speed rises linearly to 6 half-turns a second over 2.5 s, then stays.
    constexpr double start = 213.4, spin_up = 2.5, full = 6.0;
    const double t = std::max(T - start, 0.0);
    const double turns =
        t < spin_up ? 0.5 * full * t * t / spin_up : 0.5 * full * spin_up + full * (t - spin_up);
    return 180.0 * turns;
}

double bicycle_x(double T) { return (T - 230.0) * 3.5 + 90.0; }
double bicycle_wheel_angle(double T) { return 100.0 * 0.8 * 1.2 * T; }

std::span<const script_row> script_rows_43_to_65() { return rows_43_to_65; }

void draw_script_rows_43_to_65(scene_assets& part, show_context& context, const script_frame& f) {
    draw_rows(rows_43_to_65, part, context, f);
    reset_draw_state();
}
