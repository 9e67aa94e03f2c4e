// Handle types of the shading runtime stand-in (GLSL programs behind the
// operations the show's effect code calls). The operations themselves are
// declared in cg_runtime.h.
#pragma once

typedef struct cg_context_record* CGcontext;
typedef struct cg_program_record* CGprogram;
typedef struct cg_parameter_record* CGparameter;
typedef int CGprofile;
