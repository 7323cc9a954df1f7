# cython: language_level=3
# Test-bed QmRect written in Cython: four 32-bit floats with a static native constructor.

cdef class QmRect:
    def __init__(self, x=0.0, y=0.0, w=0.0, h=0.0):
        self.x = x
        self.y = y
        self.w = w
        self.h = h

    @staticmethod
    cdef QmRect new(float x, float y, float w, float h):
        cdef QmRect rect = QmRect.__new__(QmRect)
        rect.x = x
        rect.y = y
        rect.w = w
        rect.h = h
        return rect

    cpdef QmRect copy(self):
        return QmRect.new(self.x, self.y, self.w, self.h)

    cdef bint c_collidepoint(self, float px, float py) noexcept:
        return self.x <= px < self.x + self.w and self.y <= py < self.y + self.h

    cpdef bint collidepoint(self, float px, float py):
        return self.c_collidepoint(px, py)

    cpdef bint colliderect(self, QmRect other):
        return (self.x < other.x + other.w and other.x < self.x + self.w and
                self.y < other.y + other.h and other.y < self.y + self.h)

    cpdef QmRect move(self, float dx, float dy):
        return QmRect.new(self.x + dx, self.y + dy, self.w, self.h)

    cpdef move_ip(self, float dx, float dy):
        self.x += dx
        self.y += dy

    cpdef float right(self):
        return self.x + self.w

    cpdef float bottom(self):
        return self.y + self.h

    cpdef float centerx(self):
        return self.x + self.w / 2

    cpdef float centery(self):
        return self.y + self.h / 2

    cpdef tuple to_tuple(self):
        return (self.x, self.y, self.w, self.h)

    def __repr__(self):
        return f"QmRect({self.x}, {self.y}, {self.w}, {self.h})"
