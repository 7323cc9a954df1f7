# A Cython module of the toolkit's kind, built against the shipped .pxd declarations: importing
# it runs Cython's record-size, method-table and signature checks against the installed modules;
# its functions call every table slot and every exported entry point once.

from libcpp.vector cimport vector

from quelm_ui.fast.qmvector2.qmvector2 cimport QmVector2
from quelm_ui.fast.raylib.quelm_raylib cimport Vector4
from quelm_ui.fast.zsystem.zdispatch cimport ArrayView, ZRequest, ZSystem

cimport quelm_ui.fast.raylib.quelm_raylib as rl


def record_sizes():
    return {"QmVector2": sizeof(QmVector2), "ZRequest": sizeof(ZRequest),
            "ZSystem": sizeof(ZSystem)}


cdef tuple xy(QmVector2 v):
    return (v.data.x, v.data.y)


def vector_slots():
    """Each slot of QmVector2's table once: slot name -> the components it produced."""
    cdef QmVector2 a = QmVector2.new(1.5, -2.5)
    cdef QmVector2 b = QmVector2.cfrom_xy(0.25, 4.0)
    cdef QmVector2 copied = QmVector2.cfrom_qmvector2(a)
    cdef QmVector2 target = a.copy()
    out = {"new": xy(a), "cfrom_xy": xy(b), "cfrom_qmvector2": (xy(copied), copied is a),
           "copy": (xy(target), target is a)}
    out["cfrom_list"] = xy(QmVector2.cfrom_list([3, 4.5]))
    out["cfrom_ints"] = xy(QmVector2.cfrom_ints(7, -8))
    out["cfrom_floats"] = xy(QmVector2.cfrom_floats(0.1, 0.2))
    out["cfrom_tuple"] = xy(QmVector2.cfrom_tuple((5, 6, 7)))
    out["c_get_int_tuple"] = QmVector2.new(2.9, -2.9).c_get_int_tuple()
    out["_add"] = xy(a._add(b))
    out["_sub"] = xy(a._sub(b))
    target._iadd(b)
    out["_iadd"] = xy(target)
    target = a.copy()
    target._isub(b)
    out["_isub"] = xy(target)
    target = a.copy()
    target._imul(b)
    out["_imul"] = xy(target)
    target = QmVector2.new(9.0, 9.0)
    target._sadd(a, b)
    out["_sadd"] = xy(target)
    target = QmVector2.new(9.0, 9.0)
    target.sadd(b, QmVector2.new(1.0, 1.0))
    out["sadd"] = xy(target)
    return out


def vector_from_list(list items):
    return xy(QmVector2.cfrom_list(items))


def request_slots(link, hover, unhover, click, keyup, keyup_abandon, scroll):
    """ZRequest.new with its arguments in parameter order; returns the request, its fields in
    record order (the owner through the weak reference) and get_link's result."""
    cdef ZRequest request = ZRequest.new(link, hover, unhover, click, keyup, keyup_abandon, scroll)
    fields = (request._link_ref(), request.on_hover_func, request.on_unhover_func,
              request.on_click_func, request.on_scroll_func, request.on_keyup_func,
              request.on_keyup_abandon_func)
    return request, fields, request.get_link()


cdef list view_rows(ArrayView* view, int columns):
    cdef list rows = []
    cdef Py_ssize_t i
    cdef int* row
    for i in range(view.shape[0]):
        row = <int*>(view.data + i * view.strides[0])
        rows.append([row[j] for j in range(columns)] if columns else row[0])
    return rows


cdef tuple arrays(ZSystem zs):
    """The hit arrays as the record holds them: (rects rows, z entries, views own the arrays)."""
    return (view_rows(&zs.rects_view, 4), view_rows(&zs.z_view, 0),
            <object>zs.rects_view.owner is zs.rects_data and
            <object>zs.z_view.owner is zs.z_indices)


def system_slots(ZSystem zs, ZRequest first, ZRequest second, QmVector2 inside, list log):
    """Each slot of ZSystem's table once: slot name -> what it did (`log` is what the requests'
    callbacks write to)."""
    out = {}
    zs.is_dirty = False
    zs.c_mark_dirty()
    out["c_mark_dirty"] = zs.is_dirty
    zs._reset_arrays()
    out["_reset_arrays"] = (arrays(zs), zs.rects_data.shape, zs.z_indices.shape)
    zs.is_dirty = False
    zs.add(first)
    zs.add(second)
    out["add"] = ([ref() for ref in zs._registered_requests], zs.is_dirty)
    zs._rebuild_arrays()
    out["_rebuild_arrays"] = (arrays(zs), zs.live_requests)
    zs.is_dirty = False
    out["mark_dirty"] = (zs.mark_dirty(), zs.is_dirty)
    out["get_active_requests"] = zs.get_active_requests()
    out["cycle"] = (zs.cycle(inside, True, False, False, False), list(log))
    out["request_cycle"] = zs.request_cycle(inside, False, False)
    return out


def system_add(ZSystem zs, ZRequest request):
    zs.add(request)


def system_mark_dirty(ZSystem zs):
    return zs.mark_dirty()


cdef vector[Vector4] vec4s(values):
    cdef vector[Vector4] out
    for x, y, z, w in values:
        out.push_back(Vector4(x, y, z, w))
    return out


# Every exported entry point, called through the pointer bound at import.
ENTRIES = {
    "begin_qmshader_mode": lambda shader: rl.begin_qmshader_mode(shader),
    "get_qmshader_location": lambda shader, name: rl.get_qmshader_location(shader, name),
    "c_clear_background": lambda color: rl.c_clear_background(color),
    "c_draw_texture_rec": lambda texture, source, position, color: rl.c_draw_texture_rec(
        texture, source, position, color),
    "c_draw_texture_pro": lambda texture, source, dest, origin, rotation, color:
        rl.c_draw_texture_pro(texture, source, dest, origin, rotation, color),
    "draw_texture_pro": lambda texture, source, dest, origin, rotation, color:
        rl.draw_texture_pro(texture, source, dest, origin, rotation, color),
    "draw_texture_rec": lambda texture, source, position, color: rl.draw_texture_rec(
        texture, source, position, color),
    "c_draw_texture_vec": lambda texture, position, color, flip: rl.c_draw_texture_vec(
        texture, position, color, flip),
    "draw_texture_vec": lambda texture, position, color, flip: rl.draw_texture_vec(
        texture, position, color, flip),
    "begin_texture_mode": lambda target: rl.begin_texture_mode(target),
    "clear_background": lambda color: rl.clear_background(color),
    "init_raylib_pointers": lambda pointers: rl.init_raylib_pointers(pointers),
    "c_draw_texture_qmvec": lambda texture, position, color, flip: rl.c_draw_texture_qmvec(
        texture, position, color, flip),
    "begin_drawing": lambda: rl.begin_drawing(),
    "end_blend_mode": lambda: rl.end_blend_mode(),
    "end_drawing": lambda: rl.end_drawing(),
    "end_shader_mode": lambda: rl.end_shader_mode(),
    "end_texture_mode": lambda: rl.end_texture_mode(),
    "begin_blend_mode": lambda mode: rl.begin_blend_mode(mode),
    "c_draw_qmtexture_qmvec": lambda texture, position, color, flip: rl.c_draw_qmtexture_qmvec(
        texture, position, color, flip),
    "qm_clear_background": lambda color: rl.qm_clear_background(color),
    "set_qmshader_value_vec2_tuple": lambda shader, loc, value: rl.set_qmshader_value_vec2_tuple(
        shader, loc, value),
    "set_qmshader_value_vec4_tuple": lambda shader, loc, value: rl.set_qmshader_value_vec4_tuple(
        shader, loc, value),
    "set_qmshader_value": lambda shader, loc, value, uniform_type: rl.set_qmshader_value(
        shader, loc, value, uniform_type),
    "set_qmshader_value_float": lambda shader, loc, value: rl.set_qmshader_value_float(
        shader, loc, value),
    "set_qmshader_value_int": lambda shader, loc, value: rl.set_qmshader_value_int(
        shader, loc, value),
    "set_qmshader_value_vec4_v": lambda shader, loc, values: rl.set_qmshader_value_vec4_v(
        shader, loc, vec4s(values)),
    "set_qmshader_value_float_v": lambda shader, loc, values: rl.set_qmshader_value_float_v(
        shader, loc, values),
    "set_qmshader_value_vec2_qmvec": lambda shader, loc, value: rl.set_qmshader_value_vec2_qmvec(
        shader, loc, value),
    "c_clear_background_blank": lambda: rl.c_clear_background_blank(),
}


def call(name, *args):
    return ENTRIES[name](*args)
