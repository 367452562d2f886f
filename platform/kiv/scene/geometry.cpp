#include "platform/kiv/scene/geometry.h"

#include <algorithm>
#include <utility>

namespace Kiv {

// Shoemake's method on the column form of the matrix (its transpose).
void Quaternion::Set(const Matrix3& mm) {
    auto r = [&](int row, int col) { return mm.m[3 * col + row]; };  // column-vector element
    float trace = r(0, 0) + r(1, 1) + r(2, 2);
    if (trace > 0) {
        float s = std::sqrt(trace + 1.0f) * 2;
        w = 0.25f * s;
        x = (r(2, 1) - r(1, 2)) / s;
        y = (r(0, 2) - r(2, 0)) / s;
        z = (r(1, 0) - r(0, 1)) / s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        float s = std::sqrt(1.0f + r(0, 0) - r(1, 1) - r(2, 2)) * 2;
        w = (r(2, 1) - r(1, 2)) / s;
        x = 0.25f * s;
        y = (r(0, 1) + r(1, 0)) / s;
        z = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        float s = std::sqrt(1.0f + r(1, 1) - r(0, 0) - r(2, 2)) * 2;
        w = (r(0, 2) - r(2, 0)) / s;
        x = (r(0, 1) + r(1, 0)) / s;
        y = 0.25f * s;
        z = (r(1, 2) + r(2, 1)) / s;
    } else {
        float s = std::sqrt(1.0f + r(2, 2) - r(0, 0) - r(1, 1)) * 2;
        w = (r(1, 0) - r(0, 1)) / s;
        x = (r(0, 2) + r(2, 0)) / s;
        y = (r(1, 2) + r(2, 1)) / s;
        z = 0.25f * s;
    }
}

Matrix3 Quaternion::ToMatrix() const {
    // Column form R, stored transposed.
    float xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z;
    float wx = w * x, wy = w * y, wz = w * z;
    float c[3][3] = {{1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy)},
                     {2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx)},
                     {2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy)}};
    Matrix3 out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out.m[3 * col + row] = c[row][col];
    return out;
}

Matrix4x4 Matrix4x4::FromFrame(const Vector3& position, const Quaternion& rotation) {
    const Matrix3 r = rotation.ToMatrix();
    Matrix4x4 out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out.m[4 * row + col] = r.m[3 * row + col];
    out.m[12] = position.x;
    out.m[13] = position.y;
    out.m[14] = position.z;
    return out;
}

Matrix4x4 Matrix4x4::operator*(const Matrix4x4& b) const {
    Matrix4x4 out;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += m[4 * row + k] * b.m[4 * k + col];
            out.m[4 * row + col] = sum;
        }
    return out;
}

Matrix4x4 Matrix4x4::AffineInverse() const {
    // The 3x3 part by its adjugate, then the translation taken back through it.
    const float a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9],
                i = m[10];
    const float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    Matrix4x4 out;
    if (det == 0.0f) return out;
    const float s = 1.0f / det;
    out.m[0] = (e * i - f * h) * s;
    out.m[1] = (c * h - b * i) * s;
    out.m[2] = (b * f - c * e) * s;
    out.m[4] = (f * g - d * i) * s;
    out.m[5] = (a * i - c * g) * s;
    out.m[6] = (c * d - a * f) * s;
    out.m[8] = (d * h - e * g) * s;
    out.m[9] = (b * g - a * h) * s;
    out.m[10] = (a * e - b * d) * s;
    const Vector3 t{m[12], m[13], m[14]};
    for (int col = 0; col < 3; ++col)
        out.m[12 + col] = -(t.x * out.m[col] + t.y * out.m[4 + col] + t.z * out.m[8 + col]);
    return out;
}

void Matrix4x4::ScaleRows(const Vector3& scale) {
    const float s[3] = {scale.x, scale.y, scale.z};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            m[4 * row + col] *= s[row];
}

namespace {

// Eigenvectors of a symmetric 3x3 matrix by cyclic Jacobi rotations; columns of v.
void Jacobi(double a[3][3], double v[3][3], double eig[3]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            v[i][j] = i == j ? 1 : 0;
    for (int sweep = 0; sweep < 32; ++sweep) {
        double off = std::fabs(a[0][1]) + std::fabs(a[0][2]) + std::fabs(a[1][2]);
        if (off < 1e-12) break;
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (std::fabs(a[p][q]) < 1e-15) continue;
                double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                double t =
                    (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 3; ++k) {
                    double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {
                    double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 3; ++k) {
                    double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
        }
    }
    for (int i = 0; i < 3; ++i)
        eig[i] = a[i][i];
}

}  // namespace

void OrientedBox::Fit(std::span<const Vector3> points) {
    Zero();
    if (points.empty()) return;
    double mean[3] = {0, 0, 0};
    for (const Vector3& p : points) {
        mean[0] += p.x;
        mean[1] += p.y;
        mean[2] += p.z;
    }
    for (double& m : mean)
        m /= static_cast<double>(points.size());
    double cov[3][3] = {};
    for (const Vector3& p : points) {
        double d[3] = {p.x - mean[0], p.y - mean[1], p.z - mean[2]};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                cov[i][j] += d[i] * d[j];
    }
    double v[3][3], eig[3];
    Jacobi(cov, v, eig);
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return eig[a] > eig[b]; });
    for (int k = 0; k < 3; ++k) {
        int c = order[k];
        Vector3 axis{static_cast<float>(v[0][c]), static_cast<float>(v[1][c]),
                     static_cast<float>(v[2][c])};
        float len = axis.Length();
        axes[k] = len > 0 ? axis * (1 / len) : Vector3{};
    }
    // Right-handed, so corners and orientation agree.
    axes[2] = axes[0].Cross(axes[1]);
    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = hi[k] = axes[k].Dot(points[0]);
        for (const Vector3& p : points) {
            float d = axes[k].Dot(p);
            lo[k] = std::min(lo[k], d);
            hi[k] = std::max(hi[k], d);
        }
    }
    halfExtents = {(hi[0] - lo[0]) / 2, (hi[1] - lo[1]) / 2, (hi[2] - lo[2]) / 2};
    center = axes[0] * ((hi[0] + lo[0]) / 2) + axes[1] * ((hi[1] + lo[1]) / 2) +
             axes[2] * ((hi[2] + lo[2]) / 2);
}

void OrientedBox::CalcCorners(Vector3 corners[8]) const {
    for (int i = 0; i < 8; ++i) {
        Vector3 c = center;
        c = c + axes[0] * ((i & 1) ? halfExtents.x : -halfExtents.x);
        c = c + axes[1] * ((i & 2) ? halfExtents.y : -halfExtents.y);
        c = c + axes[2] * ((i & 4) ? halfExtents.z : -halfExtents.z);
        corners[i] = c;
    }
}

bool OrientedBox::Contains(const Vector3& p, float tolerance) const {
    Vector3 d = p - center;
    float h[3] = {halfExtents.x, halfExtents.y, halfExtents.z};
    for (int k = 0; k < 3; ++k)
        if (std::fabs(axes[k].Dot(d)) > h[k] + tolerance) return false;
    return true;
}

}  // namespace Kiv
