// Which OpenGL version and extensions the current context offers, as a
// record of integer flags, and the entry points of the supported groups.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace quarnel {

struct ExtensionFlags {
  static constexpr int kWglCount = 12;
  static constexpr int kGlCount = 99;

  // Window-system flags. They name another window system's extensions and
  // stay 0 on this one.
  int32_t wgl[kWglCount] = {};
  // One flag per name of kGlExtensionNames, in that order.
  int32_t gl[kGlCount] = {};
  int32_t gl12 = 0, gl13 = 0, gl14 = 0;
};

// The extension names searched in GL_EXTENSIONS, in the order of the flags.
inline constexpr std::string_view kGlExtensionNames[ExtensionFlags::kGlCount] = {
    "GL_ARB_imaging",
    "GL_ARB_depth_texture",
    "GL_ARB_fragment_program",
    "GL_ARB_matrix_palette",
    "GL_ARB_multisample",
    "GL_ARB_multitexture",
    "GL_ARB_point_parameters",
    "GL_ARB_shadow",
    "GL_ARB_shadow_ambient",
    "GL_ARB_texture_border_clamp",
    "GL_ARB_texture_compression",
    "GL_ARB_texture_cube_map",
    "GL_ARB_texture_env_add",
    "GL_ARB_texture_env_dot3",
    "GL_ARB_texture_env_combine",
    "GL_ARB_texture_env_crossbar",
    "GL_ARB_texture_mirrored_repeat",
    "GL_ARB_transpose_matrix",
    "GL_ARB_vertex_blend",
    "GL_ARB_vertex_buffer_object",
    "GL_ARB_vertex_program",
    "GL_ARB_window_pos",
    "GL_EXT_abgr",
    "GL_EXT_bgra",
    "GL_EXT_blend_color",
    "GL_EXT_blend_func_separate",
    "GL_EXT_blend_minmax",
    "GL_EXT_blend_subtract",
    "GL_EXT_compiled_vertex_array",
    "GL_EXT_cull_vertex",
    "GL_EXT_depth_bounds_test",
    "GL_EXT_draw_range_elements",
    "GL_EXT_fog_coord",
    "GL_EXT_multi_draw_arrays",
    "GL_EXT_point_parameters",
    "GL_EXT_secondary_color",
    "GL_EXT_separate_specular_color",
    "GL_EXT_shadow_funcs",
    "GL_EXT_stencil_two_side",
    "GL_EXT_stencil_wrap",
    "GL_EXT_texture_compression_s3tc",
    "GL_EXT_texture_env_combine",
    "GL_EXT_texture_filter_anisotropic",
    "GL_EXT_texture_lod_bias",
    "GL_EXT_texture_rectangle",
    "GL_EXT_vertex_shader",
    "GL_EXT_vertex_weighting",
    "GL_ATI_draw_buffers",
    "GL_ATI_element_array",
    "GL_ATI_envmap_bumpmap",
    "GL_ATI_fragment_shader",
    "GL_ATI_map_object_buffer",
    "GL_ATI_pn_triangles",
    "GL_ATI_point_cull_mode",
    "GL_ATI_separate_stencil",
    "GL_ATI_text_fragment_shader",
    "GL_ATI_texture_env_combine3",
    "GL_ATI_texture_float",
    "GL_ATI_texture_mirror_once",
    "GL_ATI_vertex_array_object",
    "GL_ATI_vertex_attrib_array_object",
    "GL_ATI_vertex_streams",
    "GL_ATIX_point_sprites",
    "GL_ATIX_texture_env_route",
    "GL_HP_occlusion_test",
    "GL_NV_blend_square",
    "GL_NV_copy_depth_to_color",
    "GL_NV_depth_clamp",
    "GL_NV_element_array",
    "GL_NV_evaluators",
    "GL_NV_fence",
    "GL_NV_float_buffer",
    "GL_NV_fog_distance",
    "GL_NV_fragment_program",
    "GL_NV_half_float",
    "GL_NV_light_max_exponent",
    "GL_NV_occlusion_query",
    "GL_NV_packed_depth_stencil",
    "GL_NV_pixel_data_range",
    "GL_NV_point_sprite",
    "GL_NV_primitive_restart",
    "GL_NV_register_combiners",
    "GL_NV_register_combiners2",
    "GL_NV_texgen_reflection",
    "GL_NV_texture_env_combine4",
    "GL_NV_texture_expand_normal",
    "GL_NV_texture_rectangle",
    "GL_NV_texture_shader",
    "GL_NV_texture_shader2",
    "GL_NV_texture_shader3",
    "GL_NV_vertex_array_range",
    "GL_NV_vertex_array_range2",
    "GL_NV_vertex_program",
    "GL_NV_vertex_program1_1",
    "GL_NV_vertex_program2",
    "GL_SGIS_generate_mipmap",
    "GL_SGIS_texture_lod",
    "GL_SGIX_shadow",
    "GL_SGIX_depth_texture",
};

// Positions in ExtensionFlags::gl of the flags the program reads or loads.
namespace GlExt {
inline constexpr int ARB_multitexture = 5;
inline constexpr int ARB_texture_cube_map = 11;
inline constexpr int EXT_blend_color = 24;
inline constexpr int EXT_blend_minmax = 26;
inline constexpr int EXT_compiled_vertex_array = 28;
inline constexpr int EXT_depth_bounds_test = 30;
inline constexpr int EXT_draw_range_elements = 31;
inline constexpr int EXT_separate_specular_color = 36;
}  // namespace GlExt

// Looks up an OpenGL entry point by name (the rendering context's resolver
// in the program, a table in tests). Null until set.
using ExtensionProcResolver = std::function<void*(const char* name)>;
void SetExtensionProcResolver(ExtensionProcResolver resolver);

// Runs LoadGLExtensions for the current context; the view ignores the result.
int InitGLExtensions();
// Recomputes every flag, loads the groups, publishes the record; returns
// the error flag of the window-system part (1 when one of its entry points
// was missing).
int LoadGLExtensions();
// The version flags and the OpenGL extension flags of the current context;
// with no context (no version string) nothing changes.
void QueryGLExtensions();
int HasGLExtension(const char* name);
int InitWGLExtensions();
void QueryWGLExtensions();
int HasWGLExtension(const char* name);
// The resolver's address for the name; a null result sets the error flag.
void* GetExtensionProc(const char* name);

// The copy the rest of the program reads, overwritten by every load.
const ExtensionFlags& PublicExtensionFlags();
// The entry point fetched under the name by a group load, or null.
void* LoadedExtensionProc(std::string_view name);

// 1 when the name stands as a whole blank-separated word in the list; a
// name that is empty or holds a blank never does.
int HasExtensionWord(const char* list, const char* name);
// The three version flags from "major.minor...": 1.2, 1.3 and 1.4 or later.
void SetVersionFlags(const char* version, ExtensionFlags& flags);

}  // namespace quarnel
