// Effect set-up and the shading runtime in a real context: profiles by
// vendor, the slot and parameter tables, fresh contexts, the report lines,
// missing and broken sources, and how bound programs run.
#include <algorithm>
#include <cstring>
#include <string>

#include "parts/parts.h"
#include "parts_support.h"
#include "resources/resources.h"
#include "support/gl_context.h"

using namespace parts_test;

namespace {

const char* vertex_source = R"(#version 120
uniform mat4 ModelViewProj;
uniform mat4 ModelViewLightProj;
uniform mat4 ModelViewObject;
void main() {
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    // The matrices are never set by the show: they read zero here.
    float unset = ModelViewProj[0].x + ModelViewLightProj[0].x + ModelViewObject[0].x;
    gl_FrontColor = vec4(unset, 0.0, 1.0, 1.0);
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
)";

// Adds green to whatever colour arrives: blue from the vertex program above,
// the current colour under fixed-function vertex processing.
const char* add_green_source = R"(#version 120
void main() { gl_FragColor = gl_Color + vec4(0.0, 0.5, 0.0, 0.0); }
)";

const char* scaled_colour_source = R"(#version 120
uniform float ttime;
void main() { gl_FragColor = vec4(gl_Color.rgb * ttime, 1.0); }
)";

const char* texcoord_source = R"(#version 120
void main() { gl_FragColor = vec4(gl_TexCoord[0].s, gl_TexCoord[0].t, 0.0, 1.0); }
)";

const char* broken_source = "#version 120\nvoid main() { gl_FragColor = undeclared_thing; }\n";

class effects : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        reset_runtime();
        context = new_context();
        create_cg_context(*context);
    }
    void TearDown() override { reset_runtime(); }

    test_gl::rgba centre_after_square() {
        glClear(GL_COLOR_BUFFER_BIT);
        full_view_square();
        return test_gl::pixel(128, 128);
    }

    std::unique_ptr<show_context> context;
};

std::string report(const char* kind, const std::string& file) {
    return std::string(kind) + "\n" + file + "\n0\n" + cgGetErrorString(0) + "\n";
}

} // namespace

TEST_F(effects, vendor_test_picks_profiles_and_compiler_arguments) {
    std::string file = write_file("vendor_fp", add_green_source);

    cg_runtime::override_gl_vendor("ATI Technologies Inc.");
    create_cg_context(*context);
    EXPECT_EQ(context->vertex_profile, CG_PROFILE_ARBVP1);
    EXPECT_EQ(context->fragment_profile, CG_PROFILE_ARBFP1);
    ::testing::internal::CaptureStdout();
    load_fragment_program_file(*context, file.c_str(), 40);
    ::testing::internal::GetCapturedStdout();
    const char* const* options = cgGetProgramOptions(context->cg_programs[40]);
    ASSERT_NE(options[0], nullptr);
    EXPECT_STREQ(options[0], "-po");
    ASSERT_NE(options[1], nullptr);
    EXPECT_STREQ(options[1], "ATI_draw_buffers");
    EXPECT_EQ(options[2], nullptr);
    EXPECT_TRUE(cgIsProgramCompiled(context->cg_programs[40]));

    // The test is a case-sensitive substring test, made again at each load.
    for (const char* vendor : {"ati technologies", "Mesa/X.org", "Radeon (atI)"}) {
        cg_runtime::override_gl_vendor(vendor);
        create_cg_context(*context);
        EXPECT_EQ(context->vertex_profile, CG_PROFILE_VP30) << vendor;
        EXPECT_EQ(context->fragment_profile, cgGLGetLatestProfile(CG_GL_FRAGMENT)) << vendor;
        ::testing::internal::CaptureStdout();
        load_fragment_program_file(*context, file.c_str(), 41);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(cgGetProgramOptions(context->cg_programs[41])[0], nullptr) << vendor;
    }
}

TEST_F(effects, vertex_fragment_set_up_fills_both_slots_and_the_matrix_entries) {
    std::string vertex = write_file("vertex_0", vertex_source);
    std::string fragment = write_file("f_0", add_green_source);
    ::testing::internal::CaptureStdout();
    setup_vertex_fragment_effect(*context, vertex.c_str(), fragment.c_str(), 5002);
    std::string out = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(out, report(" VP -- ", vertex) + report(" FP -- ", fragment));
    CGprogram vp = context->cg_programs[5002];
    CGprogram fp = context->cg_programs[5003];
    ASSERT_NE(vp, nullptr);
    ASSERT_NE(fp, nullptr);
    EXPECT_TRUE(cgIsProgramCompiled(vp));
    EXPECT_TRUE(cgIsProgramCompiled(fp));
    EXPECT_EQ(cgGetProgramProfile(vp), context->vertex_profile);
    EXPECT_EQ(cgGetProgramProfile(fp), context->fragment_profile);
    EXPECT_EQ(context->cg_parameters[5002 * 16 + 5], cgGetNamedParameter(vp, "ModelViewProj"));
    EXPECT_EQ(context->cg_parameters[5002 * 16 + 6], cgGetNamedParameter(vp, "ModelViewLightProj"));
    EXPECT_EQ(context->cg_parameters[5002 * 16 + 14], cgGetNamedParameter(vp, "ModelViewObject"));
    for (int k : {5, 6, 14})
        EXPECT_NE(context->cg_parameters[5002 * 16 + k], nullptr) << k;
    EXPECT_EQ(context->cg_parameters[5003 * 16 + 5], nullptr);
    // Profiles are left disabled, the fragment program unbound.
    EXPECT_FALSE(cg_runtime::profile_enabled(context->vertex_profile));
    EXPECT_FALSE(cg_runtime::profile_enabled(context->fragment_profile));
    EXPECT_EQ(cg_runtime::bound_program(context->fragment_profile), nullptr);
    EXPECT_EQ(cg_runtime::active_gl_program(), 0u);
}

TEST_F(effects, declared_uniforms_the_compiler_drops_keep_their_handles) {
    // The show's own vertex program declares its three matrices and uses none.
    const std::string vertex = std::string(QUORLAXEN_SOURCE_DIR) + "/data/cgeffects/vertex_0";
    const std::string fragment = write_file("dropped_fp", R"(#version 120
uniform float ttime;
uniform float unused_a, unused_b[2];
/* uniform float in_a_comment; */
uniform sampler2D unused_map;
void main() { float local = 1.0; gl_FragColor = vec4(ttime * local); }
)");
    ::testing::internal::CaptureStdout();
    setup_vertex_fragment_effect(*context, vertex.c_str(), fragment.c_str(), 5002);
    ::testing::internal::GetCapturedStdout();
    for (int k : {5, 6, 14})
        EXPECT_NE(context->cg_parameters[5002 * 16 + k], nullptr) << k;
    CGprogram fp = context->cg_programs[5003];
    ASSERT_TRUE(cgIsProgramCompiled(fp));
    for (const char* name : {"ttime", "unused_a", "unused_b", "unused_map"})
        EXPECT_NE(cgGetNamedParameter(fp, name), nullptr) << name;
    for (const char* name : {"in_a_comment", "local", "main", "float"})
        EXPECT_EQ(cgGetNamedParameter(fp, name), nullptr) << name;
    EXPECT_GE(cg_runtime::texture_unit_of(cgGetNamedParameter(fp, "unused_map")), 1);
    cgGetError();
    // Values for a dropped uniform are taken and reach nothing.
    cgGLEnableProfile(context->fragment_profile);
    cgGLBindProgram(fp);
    cgGLSetParameter1f(cgGetNamedParameter(fp, "unused_a"), 0.5f);
    cgGLDisableProfile(context->fragment_profile);
    EXPECT_EQ(cgGetError(), CG_NO_ERROR);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(effects, bound_pair_links_and_fragment_alone_runs_with_fixed_function_vertices) {
    std::string vertex = write_file("pair_vp", vertex_source);
    std::string fragment = write_file("pair_fp", add_green_source);
    ::testing::internal::CaptureStdout();
    setup_vertex_fragment_effect(*context, vertex.c_str(), fragment.c_str(), 60);
    ::testing::internal::GetCapturedStdout();
    glColor3f(1, 0, 0);

    // Both profiles: the vertex program's blue reaches the fragment program.
    bind_program(*context, 60);
    bind_program(*context, 61);
    enable_vertex_profile(*context);
    enable_fragment_profile(*context);
    test_gl::rgba pair = centre_after_square();
    EXPECT_TRUE(near(pair.r, 0) && near(pair.g, 128) && near(pair.b, 255))
        << int(pair.r) << " " << int(pair.g) << " " << int(pair.b);

    // Fragment profile alone: fixed-function vertices hand on the red colour.
    disable_vertex_profile(*context);
    test_gl::rgba alone = centre_after_square();
    EXPECT_TRUE(near(alone.r, 255) && near(alone.g, 128) && near(alone.b, 0))
        << int(alone.r) << " " << int(alone.g) << " " << int(alone.b);

    // Disabling the fragment profile unbinds its program: enabling it again
    // runs nothing until a program is bound.
    disable_fragment_profile(*context);
    enable_fragment_profile(*context);
    test_gl::rgba fixed = centre_after_square();
    EXPECT_TRUE(near(fixed.r, 255) && near(fixed.g, 0) && near(fixed.b, 0));
}

TEST_F(effects, fragment_only_program_reads_fixed_function_texture_coordinates) {
    std::string file = write_file("texcoord_fp", texcoord_source);
    ::testing::internal::CaptureStdout();
    setup_fragment_effect(*context, file.c_str(), 70);
    ::testing::internal::GetCapturedStdout();
    bind_program(*context, 70);
    enable_fragment_profile(*context);
    glClear(GL_COLOR_BUFFER_BIT);
    full_view_square();
    // s runs left to right, t bottom to top.
    EXPECT_LT(test_gl::pixel(10, 128).r, 20);
    EXPECT_GT(test_gl::pixel(245, 128).r, 235);
    EXPECT_LT(test_gl::pixel(128, 10).g, 20);
    EXPECT_GT(test_gl::pixel(128, 245).g, 235);

    // Object-linear generation feeds it too (s = x, t = y here).
    glClear(GL_COLOR_BUFFER_BIT);
    const float s_plane[4] = {1, 0, 0, 0}, t_plane[4] = {0, 1, 0, 0};
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, s_plane);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, t_plane);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    full_view_square();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    test_gl::rgba upper_right = test_gl::pixel(240, 240);
    test_gl::rgba lower_left = test_gl::pixel(16, 16);
    EXPECT_GT(upper_right.r, 220);
    EXPECT_GT(upper_right.g, 220);
    EXPECT_EQ(lower_left.r, 0); // negative coordinates clamp to black
    EXPECT_EQ(lower_left.g, 0);
}

TEST_F(effects, each_fragment_effect_gets_a_fresh_context_and_earlier_programs_stay_usable) {
    std::string scaled = write_file("scaled_fp", scaled_colour_source);
    std::string texcoord = write_file("texcoord2_fp", texcoord_source);
    CGcontext first_context = context->cg_context;
    ::testing::internal::CaptureStdout();
    setup_fragment_effect(*context, scaled.c_str(), 5031);
    CGcontext second_context = context->cg_context;
    setup_fragment_effect(*context, texcoord.c_str(), 5027);
    ::testing::internal::GetCapturedStdout();
    EXPECT_NE(second_context, first_context);
    EXPECT_NE(context->cg_context, second_context);
    EXPECT_NE(context->cg_context, nullptr);

    double value = 0.5;
    set_float_by_name(*context, 5031, "ttime", &value);
    EXPECT_EQ(context->cg_parameters[5031 * 16 + 14],
              cgGetNamedParameter(context->cg_programs[5031], "ttime"));
    bind_program(*context, 5031);
    enable_fragment_profile(*context);
    glColor3f(1, 1, 1);
    test_gl::rgba half = centre_after_square();
    EXPECT_TRUE(near(half.r, 128) && near(half.g, 128) && near(half.b, 128)) << int(half.r);
}

TEST_F(effects, parameter_values_persist_across_rebinding) {
    std::string scaled = write_file("persist_fp", scaled_colour_source);
    std::string texcoord = write_file("persist2_fp", texcoord_source);
    ::testing::internal::CaptureStdout();
    setup_fragment_effect(*context, scaled.c_str(), 80);
    setup_fragment_effect(*context, texcoord.c_str(), 81);
    ::testing::internal::GetCapturedStdout();
    glColor3f(1, 1, 1);
    enable_fragment_profile(*context);

    bind_program(*context, 80);
    double quarter = 0.25;
    set_float_by_name(*context, 80, "ttime", &quarter);
    EXPECT_TRUE(near(centre_after_square().r, 64));

    bind_program(*context, 81);
    centre_after_square();
    bind_program(*context, 80);
    EXPECT_TRUE(near(centre_after_square().r, 64)) << "value kept while another program was bound";

    // A value set while the program is not bound takes effect when it is.
    bind_program(*context, 81);
    double most = 0.75;
    set_float_by_name(*context, 80, "ttime", &most);
    bind_program(*context, 80);
    EXPECT_TRUE(near(centre_after_square().r, 191));
    // Across disable/enable of the profile too.
    disable_fragment_profile(*context);
    enable_fragment_profile(*context);
    bind_program(*context, 80);
    EXPECT_TRUE(near(centre_after_square().r, 191));
}

TEST_F(effects, missing_source_shows_the_box_and_exits_after_the_vertex_program) {
    std::string vertex = write_file("present_vp", vertex_source);
    std::string missing = ::testing::TempDir() + "machinery_parts_no_such_fp";
    recorded_exits exits;
    int code = -1;
    ::testing::internal::CaptureStdout();
    try {
        setup_vertex_fragment_effect(*context, vertex.c_str(), missing.c_str(), 90);
    } catch (const exited& e) {
        code = e.code;
    }
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    ASSERT_EQ(recorded_exits::boxes().size(), 1u);
    EXPECT_EQ(recorded_exits::boxes()[0].text, missing);
    EXPECT_EQ(recorded_exits::boxes()[0].caption, "  = Tarnwhisk. KVT 2007 = - File is missing !");
    EXPECT_EQ(recorded_exits::boxes()[0].style, unsigned(platform::mb_ok | platform::mb_iconinformation));
    EXPECT_NE(context->cg_programs[90], nullptr);
    EXPECT_EQ(context->cg_programs[91], nullptr);
    EXPECT_EQ(out, report(" VP -- ", vertex));
}

TEST_F(effects, broken_source_is_tolerated_with_its_listing_shown) {
    std::string broken = write_file("broken_fp", broken_source);
    recorded_exits exits;
    ::testing::internal::CaptureStdout();
    setup_fragment_effect(*context, broken.c_str(), 95);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(recorded_exits::boxes().empty());
    EXPECT_NE(out.find(broken + ": fragment program: "), std::string::npos) << out;
    EXPECT_NE(out.find("undeclared_thing"), std::string::npos) << out;
    EXPECT_NE(out.find(report(" FP -- ", broken)), std::string::npos);
    ASSERT_NE(context->cg_programs[95], nullptr);
    EXPECT_FALSE(cgIsProgramCompiled(context->cg_programs[95]));
    EXPECT_EQ(lookup_parameter(*context, 95, 3, "decal"), nullptr);

    // Bound, it runs nothing: the fixed-function colour shows.
    bind_program(*context, 95);
    enable_fragment_profile(*context);
    glColor3f(0, 1, 0);
    test_gl::rgba p = centre_after_square();
    EXPECT_EQ(p.g, 255);
    EXPECT_EQ(p.r, 0);
}

TEST_F(effects, slots_outside_the_tables_are_ignored) {
    EXPECT_EQ(lookup_parameter(*context, 10000, 0, "x"), nullptr);
    EXPECT_EQ(lookup_parameter(*context, -1, 0, "x"), nullptr);
    EXPECT_EQ(lookup_parameter(*context, 5, 16, "x"), nullptr);
    set_parameter3f(*context, 10000, 0, 1, 2, 3);
    set_parameter3f(*context, 5, -1, 1, 2, 3);
    bind_program(*context, 12345);
    load_fragment_program(*context, -4);
    disable_fragment_profile(*context);
    disable_vertex_profile(*context);
    EXPECT_EQ(cg_runtime::active_gl_program(), 0u);
}

TEST_F(effects, three_component_values_reach_the_program_through_their_entry) {
    std::string file = write_file("tint_fp", "#version 120\nuniform vec3 tint;\n"
                                             "void main() { gl_FragColor = vec4(tint, 1.0); }\n");
    ::testing::internal::CaptureStdout();
    setup_fragment_effect(*context, file.c_str(), 100);
    ::testing::internal::GetCapturedStdout();
    ASSERT_NE(lookup_parameter(*context, 100, 3, "tint"), nullptr);
    set_parameter3f(*context, 100, 3, 0.25f, 0.5f, 1.0f);
    bind_program(*context, 100);
    enable_fragment_profile(*context);
    test_gl::rgba p = centre_after_square();
    EXPECT_TRUE(near(p.r, 64) && near(p.g, 128) && near(p.b, 255))
        << int(p.r) << " " << int(p.g) << " " << int(p.b);
}

TEST_F(effects, a_source_compiled_again_runs_at_once_and_a_broken_one_keeps_the_last_good_program) {
    std::string vertex = write_file("reload_vp", vertex_source);
    std::string fragment =
        write_file("reload_fp", "#version 120\nuniform float ttime;\n"
                                "void main() { gl_FragColor = gl_Color + vec4(0.0, ttime, 0.0, 0.0); }\n");
    ::testing::internal::CaptureStdout();
    setup_vertex_fragment_effect(*context, vertex.c_str(), fragment.c_str(), 70);
    ::testing::internal::GetCapturedStdout();
    bind_program(*context, 70);
    bind_program(*context, 71);
    enable_vertex_profile(*context);
    enable_fragment_profile(*context);
    const double half = 0.5;
    set_float_by_name(*context, 71, "ttime", &half);
    test_gl::rgba before = centre_after_square();
    ASSERT_TRUE(near(before.r, 0) && near(before.g, 128) && near(before.b, 255));

    // The pair in use is linked again with the new code; the value set
    // before stays with the parameter.
    write_file("reload_fp", "#version 120\nuniform float ttime;\n"
                            "void main() { gl_FragColor = gl_Color + vec4(ttime, 0.0, 0.0, 0.0); }\n");
    effect_reload r = reload_effect_file(*context, fragment);
    EXPECT_EQ(r.programs, 1);
    EXPECT_EQ(r.failed, 0);
    test_gl::rgba after = centre_after_square();
    EXPECT_TRUE(near(after.r, 128) && near(after.g, 0) && near(after.b, 255))
        << int(after.r) << " " << int(after.g) << " " << int(after.b);

    write_file("reload_fp", broken_source);
    r = reload_effect_file(*context, fragment);
    EXPECT_EQ(r.failed, 1);
    EXPECT_NE(r.listing.find("undeclared_thing"), std::string::npos) << r.listing;
    test_gl::rgba kept = centre_after_square();
    EXPECT_TRUE(near(kept.r, 128) && near(kept.g, 0) && near(kept.b, 255));
    bind_program(*context, 71);
    EXPECT_TRUE(near(centre_after_square().r, 128)) << "bound again, the last good code runs";

    EXPECT_EQ(reload_effect_file(*context, vertex + "_not_loaded").programs, 0);
}

TEST_F(effects, defines_reach_the_program_keep_the_line_numbers_and_survive_a_recompile) {
    std::string file =
        write_file("defines_fp", "#version 120\n"
                                 "void main() { gl_FragColor = vec4(RED, GREEN, 0.0, 1.0); }\n");
    ::testing::internal::CaptureStdout();
    load_fragment_program_variant(*context, file.c_str(), 110, {"RED=0.5", "GREEN"});
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, report(" FP -- ", file));
    bind_program(*context, 110);
    enable_fragment_profile(*context);
    test_gl::rgba p = centre_after_square();
    EXPECT_TRUE(near(p.r, 128) && near(p.g, 255) && near(p.b, 0))
        << int(p.r) << " " << int(p.g) << " " << int(p.b);

    // Compiled again from its file, the program keeps its defines.
    write_file("defines_fp", "#version 120\n"
                             "void main() { gl_FragColor = vec4(GREEN, RED, 0.0, 1.0); }\n");
    effect_reload r = reload_effect_file(*context, file);
    EXPECT_EQ(r.failed, 0) << r.listing;
    p = centre_after_square();
    EXPECT_TRUE(near(p.r, 255) && near(p.g, 128) && near(p.b, 0))
        << int(p.r) << " " << int(p.g) << " " << int(p.b);

    // The listing counts the file's own lines, with or without a #version.
    for (const char* version : {"#version 120\n", ""}) {
        const std::string text = std::string(version) + "// line\n// line\n"
                                                        "void main() { gl_FragColor = undeclared_thing; }\n";
        std::string broken = write_file("defines_broken_fp", text);
        const std::string line = std::to_string(std::count(text.begin(), text.end(), '\n'));
        ::testing::internal::CaptureStdout();
        load_fragment_program_variant(*context, broken.c_str(), 111, {"RED=0.5"});
        out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(broken + ": fragment program: 0:" + line + "("), std::string::npos) << out;
    }
}

TEST_F(effects, four_component_values_and_array_elements_reach_the_program) {
    std::string file = write_file("array_fp", "#version 120\nuniform vec4 tint;\nuniform vec4 colours[3];\n"
                                              "void main() { gl_FragColor = vec4(tint.r, colours[1].g, "
                                              "colours[2].b, 1.0); }\n");
    ::testing::internal::CaptureStdout();
    setup_fragment_effect(*context, file.c_str(), 112);
    ::testing::internal::GetCapturedStdout();
    CGprogram program = context->cg_programs[112];
    const float tint[4] = {0.25f, 0.0f, 0.0f, 0.0f};
    cgGLSetParameter4fv(cgGetNamedParameter(program, "tint"), tint);
    // Elements 1 and 2 of three.
    const float tail[8] = {0.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f};
    CGparameter colours = cgGetNamedParameter(program, "colours");
    cgGLSetParameterArray4f(colours, 1, 2, tail);
    bind_program(*context, 112);
    enable_fragment_profile(*context);
    test_gl::rgba p = centre_after_square();
    EXPECT_TRUE(near(p.r, 64) && near(p.g, 128) && near(p.b, 255))
        << int(p.r) << " " << int(p.g) << " " << int(p.b);

    // A range past the array's end sets nothing.
    cgGetError();
    const float zeros[8] = {};
    cgGLSetParameterArray4f(colours, 2, 2, zeros);
    EXPECT_EQ(cgGetError(), CG_INVALID_PARAMETER_ERROR);
    EXPECT_TRUE(near(centre_after_square().b, 255));
}
