// The engine's small geometry maths. Conventions of the mesh files and of foundation/matrix4:
// vectors are rows and multiply matrices from the left (v' = v M), matrices are stored row
// after row, quaternions are stored (x, y, z, w).
#pragma once

#include <array>
#include <cmath>
#include <span>

namespace Kiv {

struct Vector3 {
    float x = 0, y = 0, z = 0;
    Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vector3 operator*(float s) const { return {x * s, y * s, z * s}; }
    float Dot(const Vector3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vector3 Cross(const Vector3& o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    float LengthSquared() const { return Dot(*this); }
    float Length() const { return std::sqrt(LengthSquared()); }
    bool operator==(const Vector3&) const = default;
};

// Row-major: m[3 * row + column]. Row r is the image of axis r.
struct Matrix3 {
    std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};
    static Matrix3 Identity() { return {}; }
    Vector3 Row(int r) const { return {m[3 * r], m[3 * r + 1], m[3 * r + 2]}; }
    // v M
    Vector3 Transform(const Vector3& v) const {
        return {v.x * m[0] + v.y * m[3] + v.z * m[6], v.x * m[1] + v.y * m[4] + v.z * m[7],
                v.x * m[2] + v.y * m[5] + v.z * m[8]};
    }
    bool operator==(const Matrix3&) const = default;
};

struct Quaternion {
    float x = 0, y = 0, z = 0, w = 1;
    // The rotation of a row-major rotation matrix (v' = v M).
    void Set(const Matrix3& matrix);
    static Quaternion FromMatrix(const Matrix3& matrix) {
        Quaternion q;
        q.Set(matrix);
        return q;
    }
    // The row-major rotation matrix of this (unit) quaternion.
    Matrix3 ToMatrix() const;
    bool operator==(const Quaternion&) const = default;
};

// Row-major 4x4 with the row-vector convention: rows 0-2 are the images of the axes, row 3 the
// translation (v' = v M). A composition a * b applies a first, then b.
struct Matrix4x4 {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    static Matrix4x4 Identity() { return {}; }
    // The frame of a particle: its rotation, then its position.
    static Matrix4x4 FromFrame(const Vector3& position, const Quaternion& rotation);
    Matrix4x4 operator*(const Matrix4x4& b) const;
    Vector3 TransformPoint(const Vector3& v) const {
        return {v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12],
                v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13],
                v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14]};
    }
    Vector3 GetTranslation() const { return {m[12], m[13], m[14]}; }
    // The inverse of a rotation (or rotation and scale) followed by a translation.
    Matrix4x4 AffineInverse() const;
    // Multiplies rows 0, 1 and 2 by x, y and z: the object is scaled in its own axes.
    void ScaleRows(const Vector3& scale);
    bool operator==(const Matrix4x4&) const = default;
};

struct Sphere {
    Vector3 centre;
    float radius = 0;
};

struct Plane {
    Vector3 normal{0, 0, 1};
    float distance = 0;  // points p with normal . p = distance
    float DistanceTo(const Vector3& p) const { return normal.Dot(p) - distance; }
};

struct Ray {
    Vector3 origin;
    Vector3 direction{0, 0, 1};
};

// A box with its own axes. Our fit (Fit): the axes are the eigenvectors of the covariance of
// the points (Jacobi rotations, in order of decreasing spread), the box is the tightest one
// along those axes. A box of no points is the zero box: centre, extents and axes all zero.
struct OrientedBox {
    Vector3 center;
    std::array<Vector3, 3> axes{};  // unit rows; all zero for the zero box
    Vector3 halfExtents;

    void Zero() { *this = OrientedBox{}; }
    bool IsZero() const { return axes[0] == Vector3{} && halfExtents == Vector3{}; }
    void Fit(std::span<const Vector3> points);
    // The eight corners: bit 0 of the index is the sign along axis 0, bit 1 axis 1, bit 2 axis 2.
    void CalcCorners(Vector3 corners[8]) const;
    bool Contains(const Vector3& p, float tolerance = 1e-4f) const;
};

}  // namespace Kiv
