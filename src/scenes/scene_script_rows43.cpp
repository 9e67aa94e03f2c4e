// Rows 43 to 65 of the scene script: the second half of the show, run right
// after row 42 in the same frame.
#include "scenes/scene_script.h"

void draw_script_rows_43_to_65(part_start& part, show_context& context, const script_frame& frame) {}
