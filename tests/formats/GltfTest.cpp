// Binary glTF, read back with tinygltf: the figure a reader builds from the nodes and the
// animation stands where our skeleton stands at every frame; the mesh is the view's solids; a
// write that cannot be done says why and keeps the previous file.
#include "suitlib/SuitLib.h"
#include "telvoria/TelvoriaFiles.h"
#include "tests/support/LiveTake.h"
#include "tests/support/TempDir.h"
#include "tests/support/Vec3.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

namespace telvo {
namespace {

using Quat = std::array<double, 4>; // x, y, z, w

constexpr int LeftShoulder = 7; // nodes
constexpr int LeftElbow = 8;

tinygltf::Model Load(const std::string& path) {
    tinygltf::Model model;
    std::string err, warn;
    EXPECT_TRUE(tinygltf::TinyGLTF().LoadBinaryFromFile(&model, &err, &warn, path)) << err;
    EXPECT_EQ(warn, "");
    return model;
}

// An accessor's elements, each of 'Element' bytes and the components its type has.
template <typename Element = float>
std::vector<Element> Elements(const tinygltf::Model& m, int index) {
    const tinygltf::Accessor& a = m.accessors.at(index);
    const tinygltf::BufferView& v = m.bufferViews.at(a.bufferView);
    std::vector<Element> out(a.count * tinygltf::GetNumComponentsInType(a.type));
    constexpr int type = std::is_same_v<Element, float> ? TINYGLTF_COMPONENT_TYPE_FLOAT
                                                        : TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
    EXPECT_EQ(a.componentType, type);
    std::memcpy(out.data(), m.buffers.at(v.buffer).data.data() + v.byteOffset + a.byteOffset,
                out.size() * sizeof(Element));
    return out;
}

// The v-th of the points given as x, y, z in turn.
template <typename Xyz> V3 Point(const Xyz& xyz, std::size_t v) {
    return {xyz[3 * v], xyz[3 * v + 1], xyz[3 * v + 2]};
}

V3 Rotate(const Quat& q, const V3& v) {
    const V3 u{q[0], q[1], q[2]};
    return Plus(v, Cross(u, Plus(Cross(u, v), v, q[3])), 2);
}

// glTF's metres, Y up, in our inches, Z up.
V3 Inches(const V3& p) {
    return Plus({}, {p[0], -p[2], p[1]}, 1 / 0.0254);
}

Quat Product(const Quat& a, const Quat& b) {
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

// Where a reader puts each node at each frame: the nodes' own translations, the animation's
// rotations and root translation, multiplied down the hierarchy. In metres, glTF's axes.
// 'tracks' holds the output of each of the animation's channels.
std::vector<V3> Pose(const tinygltf::Model& m, const std::vector<std::vector<float>>& tracks,
                     std::size_t frame) {
    std::vector<V3> translation(m.nodes.size());
    std::vector<Quat> rotation(m.nodes.size(), Quat{0, 0, 0, 1});
    for (std::size_t i = 0; i < m.nodes.size(); ++i) {
        translation[i] = m.nodes[i].translation.empty() ? V3{} : Point(m.nodes[i].translation, 0);
    }
    for (std::size_t c = 0; c < tracks.size(); ++c) {
        const tinygltf::AnimationChannel& channel = m.animations[0].channels[c];
        if (channel.target_path == "rotation") {
            const float* v = &tracks[c].at(4 * frame);
            rotation[channel.target_node] = {v[0], v[1], v[2], v[3]};
        } else {
            translation[channel.target_node] = Point(tracks[c], frame);
        }
    }
    std::vector<V3> position(m.nodes.size());
    auto place = [&](auto& self, int node, const V3& at, const Quat& above) -> void {
        position[node] = at;
        const Quat turn = Product(above, rotation[node]);
        for (int child : m.nodes[node].children) {
            self(self, child, Plus(at, Rotate(turn, translation[child])), turn);
        }
    };
    place(place, 0, translation[0], Quat{0, 0, 0, 1});
    return position;
}

// A live take with the frames no suit sends: a sensor that turns all the way round in 30
// degree steps, one that holds no rotation, one too large to square, and a root that is not a
// number.
class Gltf : public ::testing::Test {
protected:
    void SetUp() override {
        Skeleton& s = take.skeleton;
        s.Nodes[LeftElbow].Offset = Vector(0.0f, 0.0f, 0.0f); // an upper arm of no length
        for (int turn = 1; turn <= 13; ++turn) {
            ASSERT_EQ(GyroAddFrame(&s), 1);
            Frame& f = s.Frames[s.FrameCount - 1];
            f = s.Frames[s.FrameCount - 2];
            f.RawMatrices[7] = Matrix::RotX(0.5235988f * static_cast<float>(turn)) *
                               Matrix::RotZ(0.3f); // the left elbow's sensor
        }
        ASSERT_EQ(GyroAddFrame(&s), 1);
        Frame& odd = s.Frames[s.FrameCount - 1];
        odd = s.Frames[0];
        std::memset(static_cast<void*>(&odd.RawMatrices[10]), 0, sizeof(Matrix)); // right shoulder
        odd.RawMatrices[12] = Matrix::RotX(0.5f);
        odd.RawMatrices[12].m20 = 1e30f; // its square overflows
        odd.RootPosition = Vector(std::nanf(""), 0.0f, 37.0f);
        ASSERT_EQ(GyroWriteGLB(path.c_str(), &s, &take.actor), 1) << files::LastProblem().reason;
    }
    LiveTake take{4200}; // more than the writer solves at a time
    TempDir dir;
    std::string path = (dir.path() / "take.glb").string();
};

// Thirty nodes named and linked as ours, one skin over them, one animation of every frame:
// posed by any reader, each node stands where the library poses ours.
TEST_F(Gltf, EveryFramePosesTheNodesWhereTheLibraryPosesOurs) {
    const tinygltf::Model m = Load(path);
    Skeleton& s = take.skeleton;
    EXPECT_EQ(m.asset.generator, "TelvoView " TELVO_VERSION);
    ASSERT_EQ(m.skins.size(), 1u);
    ASSERT_EQ(m.skins[0].joints.size(), 30u);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        EXPECT_EQ(m.skins[0].joints[i], i);
        EXPECT_EQ(m.nodes[i].name, GyroGetNodeName(i));
    }
    ASSERT_EQ(m.animations.size(), 1u);
    const tinygltf::Animation& a = m.animations[0];
    EXPECT_EQ(a.channels.size(), 31u) << "each joint's rotation and the root's translation";
    const std::vector<float> times = Elements(m, a.samplers.at(0).input);
    ASSERT_EQ(times.size(), s.FrameCount);
    std::vector<std::vector<float>> tracks;
    for (const tinygltf::AnimationChannel& c : a.channels) {
        tracks.push_back(Elements(m, a.samplers.at(c.sampler).output));
    }
    double worst = 0;
    for (uint32_t f = 0; f < s.FrameCount; ++f) {
        EXPECT_EQ(times[f], static_cast<float>(f * static_cast<double>(s.FramePeriod)));
        GyroApplyFrame(&s, &s.Frames[f]);
        const std::vector<V3> posed = Pose(m, tracks, f);
        for (int i = 0; i < SkeletonNodeCount; ++i) {
            const Vector& p = s.Nodes[i].Position;
            const double off = Distance(Inches(posed[i]), V3{p.x, p.y, p.z});
            worst = off <= worst ? worst : off; // a node that is not a number counts too
        }
    }
    EXPECT_LT(worst, 0.001) << "inch";
    // Interpolating from frame to frame never takes the long way round.
    for (const tinygltf::AnimationSampler& sampler : a.samplers) {
        EXPECT_EQ(sampler.interpolation, "LINEAR");
        EXPECT_EQ(sampler.input, a.samplers[0].input);
        const std::vector<float> q = Elements(m, sampler.output);
        for (std::size_t i = 4; q.size() == 4 * times.size() && i < q.size(); i += 4) {
            EXPECT_GE(q[i] * q[i - 4] + q[i + 1] * q[i - 3] + q[i + 2] * q[i - 2] +
                          q[i + 3] * q[i - 1],
                      0.0f);
        }
    }
    // The actor's measurements travel along, in metres.
    const tinygltf::Value& actor = m.scenes.at(0).extras.Get("TelvoViewActor");
    EXPECT_EQ(actor.Get("Unit").Get<std::string>(), "Meters");
    EXPECT_EQ(static_cast<float>(actor.Get("ContactRadius").Get("LeftHeel").GetNumberAsDouble()),
              static_cast<float>(take.actor.ContactRadius[21] * 0.0254));
    EXPECT_EQ(actor.Get("MarkerNode").GetNumberAsInt(), static_cast<int>(take.actor.MarkerNode));
}

// Each bone is the view's solid, bound wholly to the joint it turns with: its tips at the two
// joints, its waist an eighth of its length from the parent and as far from its axis, every
// face lit from outside. A bone of no length has none. The rest pose is where the skin binds.
TEST_F(Gltf, TheMeshIsTheViewsSolidBodiesBoundToTheirJoints) {
    const tinygltf::Model m = Load(path);
    ASSERT_EQ(m.meshes.size(), 1u);
    const tinygltf::Primitive& p = m.meshes[0].primitives.at(0);
    const std::vector<float> at = Elements(m, p.attributes.at("POSITION"));
    const std::vector<float> normal = Elements(m, p.attributes.at("NORMAL"));
    const std::vector<float> weight = Elements(m, p.attributes.at("WEIGHTS_0"));
    const std::vector<unsigned char> joint =
        Elements<unsigned char>(m, p.attributes.at("JOINTS_0"));
    ASSERT_EQ(at.size(), 3u * 18 * 28) << "18 corners for each of 28 bones";

    // The rest pose: the nodes' translations (parents come first), and the skin's inverse bind
    // matrices undo it.
    std::vector<V3> rest(SkeletonNodeCount, Point(m.nodes[0].translation, 0));
    const std::vector<float> inverse = Elements(m, m.skins[0].inverseBindMatrices);
    for (int i = 0; i < SkeletonNodeCount; ++i) {
        for (int c : m.nodes[i].children) {
            rest[c] = Plus(rest[i], Point(m.nodes[c].translation, 0));
        }
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(inverse[16 * i + 12 + a], -rest[i][a], 1e-6) << i;
        }
    }

    std::set<int> bound;
    for (std::size_t bone = 0; bone < 28; ++bone) {
        const std::size_t first = 18 * bone;
        const int parent = joint[4 * first];
        bound.insert(parent);
        std::set<V3> corners;
        for (std::size_t v = first; v < first + 18; ++v) {
            EXPECT_EQ(joint[4 * v], parent);
            EXPECT_EQ(std::vector<float>(weight.begin() + 4 * v, weight.begin() + 4 * v + 4),
                      (std::vector<float>{1, 0, 0, 0}));
            corners.insert(Point(at, v));
        }
        ASSERT_EQ(corners.size(), 5u);
        // The tips are the parent's joint and one of its children's, the farthest corner.
        const V3& a = rest[parent];
        ASSERT_LT(Distance(Point(at, first), a), 1e-6);
        const V3 b = *std::max_element(corners.begin(), corners.end(), [&](auto& x, auto& y) {
            return Distance(x, a) < Distance(y, a);
        });
        EXPECT_TRUE(std::any_of(m.nodes[parent].children.begin(), m.nodes[parent].children.end(),
                                [&](int child) { return Distance(rest[child], b) < 1e-6; }));
        const double length = Distance(a, b);
        const V3 axis = Plus({}, Plus(b, a, -1), 1 / length), mid = Plus(a, Plus(b, a, -1), 0.5);
        for (const V3& corner : corners) {
            const V3 d = Plus(corner, a, -1);
            if (Distance(corner, a) > 1e-6 && Distance(corner, b) > 1e-6) {
                EXPECT_NEAR(Dot(d, axis), length / 8, 1e-6);
                EXPECT_NEAR(std::sqrt(Dot(d, d) - Dot(d, axis) * Dot(d, axis)), length / 8, 1e-6);
            }
        }
        for (std::size_t v = first; v < first + 18; v += 3) {
            const V3 n = Point(normal, v);
            EXPECT_NEAR(std::sqrt(Dot(n, n)), 1.0, 1e-6);
            EXPECT_GT(Dot(n, Plus(Point(at, v), mid, -1)), 0) << "bone " << bone;
        }
    }
    EXPECT_EQ(bound.count(LeftShoulder), 0u) << "its one bone, the upper arm, has no length";
    EXPECT_EQ(bound.count(LeftElbow), 1u) << "the forearm turns with the elbow";
}

// Nothing is written, the reason is given and an older file stays whole: a folder that is not
// there, a frame period that is no number, a take too long for the file's 32-bit lengths, a
// read-only file.
TEST_F(Gltf, AWriteThatCannotBeDoneSaysWhyAndKeepsTheOldFile) {
    const std::string kept = ReadAll(path);
    Skeleton s = take.skeleton, noPeriod = s, huge = s; // sharing the take's frames
    noPeriod.FramePeriod = std::nanf("");
    huge.FrameCount = (1u << 23) + 1;
    const std::tuple<std::string, Skeleton*, const char*> cases[] = {
        {(dir.path() / "gone" / "take.glb").string(), &s, "No such file"},
        {path, &noPeriod, "the frame period is not a positive number"},
        {path, &huge, "too long for a glTF file: more than 8388608 frames"},
        {path, &s, "the file is read-only"},
    };
    std::filesystem::permissions(path, std::filesystem::perms::owner_read); // for the last
    for (const auto& [to, skeleton, reason] : cases) {
        EXPECT_EQ(GyroWriteGLB(to.c_str(), skeleton, &take.actor), 0);
        EXPECT_THAT(files::LastProblem().reason, ::testing::HasSubstr(reason));
    }
    EXPECT_EQ(ReadAll(path), kept);
}

// The JSON's numbers are the C format's in any locale: the same take gives the same bytes.
TEST_F(Gltf, TheSameBytesInEveryLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no comma locale on this machine";
    }
    const std::string de = (dir.path() / "de.glb").string();
    GyroWriteGLB(de.c_str(), &take.skeleton, &take.actor); // unwritten, it reads empty
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(ReadAll(de), ReadAll(path));
}

} // namespace
} // namespace telvo
