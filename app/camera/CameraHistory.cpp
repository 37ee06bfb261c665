// CameraHistory: ring buffer of stamped camera samples and its windowed mean.
#include "app/camera/CameraHistory.h"

void CameraHistory::push(const Vec3& v, float time) {
    int slot;
    if (count < kCapacity) {
        slot = (head + count) % kCapacity;
        ++count;
    } else {
        slot = head;
        head = (head + 1) % kCapacity;
    }
    samples[slot].x = v.x;
    samples[slot].y = v.y;
    samples[slot].z = v.z;
    samples[slot].time = time;
}

Vec3 CameraHistory::average(float now, float window) const {
    if (count == 0) {
        return zeroVec3();
    }
    const CameraSample& newest = samples[(head + count - 1) % kCapacity];
    const Vec3 newestPosition(newest.x, newest.y, newest.z);
    if (count == 1) {
        return newestPosition;
    }

    const float start = now - window;
    Vec3 sum = zeroVec3();
    float total = 0.0f;
    // Newest first: each sample stands for the time until the next newer one.
    float end = now;
    for (int i = count - 1; i >= 0; --i) {
        const CameraSample& s = samples[(head + i) % kCapacity];
        float d = end - s.time;
        const bool reachesPastStart = s.time < start;
        if (reachesPastStart) {
            // Only the part of its interval inside the window counts.
            d -= start - s.time;
        }
        sum = sum + Vec3(s.x, s.y, s.z) * d;
        total += d;
        if (reachesPastStart) {
            break;
        }
        end = s.time;
    }
    if (total > 0.0f) {
        return sum * (1.0f / total);
    }
    return newestPosition;
}
