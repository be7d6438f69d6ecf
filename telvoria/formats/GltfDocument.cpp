// The glTF document of a take: nodes, skin, the solid bodies' mesh, accessors, animation and
// the actor's measurements. Everything but the animation's bytes is made here.
#include "base/SolidBone.h"
#include "telvoria/formats/Gltf.h"
#include "telvoria/skeleton/Actor.h"
#include "telvoria/skeleton/Body.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#ifndef TELVO_VERSION
#error "the build names the version"
#endif

namespace telvo::gltf {

namespace {

using tinygltf::Value;

constexpr int Float = TINYGLTF_COMPONENT_TYPE_FLOAT;
constexpr int UnsignedByte = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
constexpr std::size_t VerticesPerBone = 3 * std::size(SolidBoneFaces);
constexpr std::size_t RotationBytes = 16;
constexpr std::size_t TranslationBytes = 12;
constexpr std::size_t TimeBytes = 4;

// The float's shortest decimal, so that the JSON says 0.3 where the float holds 0.3.
double Decimal(float value) {
    char text[32];
    auto written = std::to_chars(text, text + sizeof text, value);
    double shown = value;
    std::from_chars(text, written.ptr, shown);
    return shown;
}

std::vector<double> Decimals(Point p) {
    return {Decimal(p.x), Decimal(p.y), Decimal(p.z)};
}

Value Array(Point p) {
    return Value(Value::Array{Value(Decimal(p.x)), Value(Decimal(p.y)), Value(Decimal(p.z))});
}

Point Difference(Point a, Point b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

template <typename T> void Append(std::string& bytes, const T& value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// The unit normal of a face, in double; none for a face too small for floats to tell.
std::optional<Point> Normal(Point p1, Point p2, Point p3) {
    const Point e1 = Difference(p2, p1);
    const Point e2 = Difference(p3, p1);
    const double x = double{e1.y} * e2.z - double{e1.z} * e2.y;
    const double y = double{e1.z} * e2.x - double{e1.x} * e2.z;
    const double z = double{e1.x} * e2.y - double{e1.y} * e2.x;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 1e-30)) {
        return std::nullopt;
    }
    return Point{static_cast<float>(x / length), static_cast<float>(y / length),
                 static_cast<float>(z / length)};
}

struct Mesh {
    std::vector<Point> positions;
    std::vector<Point> normals;
    std::vector<int> joints;
};

// Each bone's solid in the null pose, bound to the joint whose segment carries it: the parent.
Mesh SolidBodies(const std::array<Vector, body::NodeCount>& offsets,
                 const std::array<Vector, body::NodeCount>& rest) {
    Mesh mesh;
    for (int child = 1; child < body::NodeCount; ++child) {
        const int parent = body::Parent[child];
        const std::optional<SolidBone> shape = SolidBoneShape(offsets[child]);
        if (!shape) {
            continue;
        }
        Vector corners[5] = {rest[parent], rest[child], {}, {}, {}};
        Matrix toParent = shape->toParent;
        for (int k = 0; k < 3; ++k) {
            corners[2 + k] = toParent * shape->ring[k] + rest[parent];
        }
        Mesh bone;
        for (const SolidBoneFace& face : SolidBoneFaces) {
            const Point p[3] = {ToGltf(corners[face.corner[0]]), ToGltf(corners[face.corner[1]]),
                                ToGltf(corners[face.corner[2]])};
            const std::optional<Point> n = Normal(p[0], p[1], p[2]);
            if (!n) {
                break; // a bone too short to have a shape in metres
            }
            for (const Point& corner : p) {
                bone.positions.push_back(corner);
                bone.normals.push_back(*n);
                bone.joints.push_back(parent);
            }
        }
        if (bone.positions.size() == VerticesPerBone) {
            for (std::size_t i = 0; i < VerticesPerBone; ++i) {
                mesh.positions.push_back(bone.positions[i]);
                mesh.normals.push_back(bone.normals[i]);
                mesh.joints.push_back(bone.joints[i]);
            }
        }
    }
    return mesh;
}

// Adds an accessor over a buffer view of its own at the chunk's end; its index.
int AddAccessor(Document& d, int componentType, int type, std::size_t count,
                std::size_t elementBytes, int target = 0) {
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = d.binaryLength;
    view.byteLength = count * elementBytes;
    view.target = target;
    d.model.bufferViews.push_back(view);
    d.binaryLength += view.byteLength;
    tinygltf::Accessor accessor;
    accessor.bufferView = static_cast<int>(d.model.bufferViews.size() - 1);
    accessor.componentType = componentType;
    accessor.type = type;
    accessor.count = count;
    d.model.accessors.push_back(accessor);
    return static_cast<int>(d.model.accessors.size() - 1);
}

void AddMesh(Document& d, const Mesh& mesh) {
    Point low = mesh.positions[0];
    Point high = low;
    for (const Point& p : mesh.positions) {
        low = {std::fmin(low.x, p.x), std::fmin(low.y, p.y), std::fmin(low.z, p.z)};
        high = {std::fmax(high.x, p.x), std::fmax(high.y, p.y), std::fmax(high.z, p.z)};
        Append(d.fixedBytes, p);
    }
    const std::size_t count = mesh.positions.size();
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.material = 0;
    primitive.attributes["POSITION"] =
        AddAccessor(d, Float, TINYGLTF_TYPE_VEC3, count, 12, TINYGLTF_TARGET_ARRAY_BUFFER);
    // min and max as the floats hold them: readers compare them with the data.
    d.model.accessors.back().minValues = {low.x, low.y, low.z};
    d.model.accessors.back().maxValues = {high.x, high.y, high.z};
    for (const Point& n : mesh.normals) {
        Append(d.fixedBytes, n);
    }
    primitive.attributes["NORMAL"] =
        AddAccessor(d, Float, TINYGLTF_TYPE_VEC3, count, 12, TINYGLTF_TARGET_ARRAY_BUFFER);
    for (int joint : mesh.joints) {
        const uint8_t four[4] = {static_cast<uint8_t>(joint), 0, 0, 0};
        Append(d.fixedBytes, four);
    }
    primitive.attributes["JOINTS_0"] =
        AddAccessor(d, UnsignedByte, TINYGLTF_TYPE_VEC4, count, 4, TINYGLTF_TARGET_ARRAY_BUFFER);
    for (std::size_t i = 0; i < count; ++i) {
        const float four[4] = {1.0f, 0.0f, 0.0f, 0.0f};
        Append(d.fixedBytes, four);
    }
    primitive.attributes["WEIGHTS_0"] =
        AddAccessor(d, Float, TINYGLTF_TYPE_VEC4, count, 16, TINYGLTF_TARGET_ARRAY_BUFFER);

    tinygltf::Mesh figure;
    figure.name = "Figure";
    figure.primitives.push_back(primitive);
    d.model.meshes.push_back(figure);
    tinygltf::Material plain;
    plain.name = "Figure";
    plain.pbrMetallicRoughness.baseColorFactor = {0.8, 0.8, 0.8, 1.0};
    plain.pbrMetallicRoughness.metallicFactor = 0.0;
    plain.pbrMetallicRoughness.roughnessFactor = 0.7;
    d.model.materials.push_back(plain);
}

// The joints at rest and the skin over them. Every joint turns like the world in the null
// pose, so an inverse bind matrix only moves back from the joint's place.
void AddSkeleton(Document& d, const std::array<Vector, body::NodeCount>& offsets,
                 const std::array<Vector, body::NodeCount>& rest) {
    tinygltf::Skin skin;
    skin.name = "Skeleton";
    skin.skeleton = body::Hips;
    for (int i = 0; i < body::NodeCount; ++i) {
        tinygltf::Node node;
        node.name = body::NodeNames[i];
        node.translation = Decimals(ToGltf(offsets[i]));
        d.model.nodes.push_back(node);
        if (i > 0) {
            d.model.nodes[body::Parent[i]].children.push_back(i);
        }
        skin.joints.push_back(i);
        const Point at = ToGltf(rest[i]);
        const float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -at.x, -at.y, -at.z, 1};
        Append(d.fixedBytes, matrix);
    }
    skin.inverseBindMatrices =
        AddAccessor(d, Float, TINYGLTF_TYPE_MAT4, body::NodeCount, sizeof(float) * 16);
    d.model.skins.push_back(skin);
}

// Times, the root's translation, then each joint's rotation, all frames in turn. The bytes
// come later, from StreamBinary, in this order.
void AddAnimation(Document& d, uint32_t frames, float period) {
    const int times = AddAccessor(d, Float, TINYGLTF_TYPE_SCALAR, frames, TimeBytes);
    d.model.accessors.back().minValues = {0.0};
    d.model.accessors.back().maxValues = {
        static_cast<float>((frames - 1) * static_cast<double>(period))};
    tinygltf::Animation animation;
    animation.name = "Take";
    auto channel = [&](int node, const char* path, int output) {
        tinygltf::AnimationSampler sampler;
        sampler.input = times;
        sampler.output = output;
        sampler.interpolation = "LINEAR";
        animation.samplers.push_back(sampler);
        tinygltf::AnimationChannel target;
        target.sampler = static_cast<int>(animation.samplers.size() - 1);
        target.target_node = node;
        target.target_path = path;
        animation.channels.push_back(target);
    };
    channel(body::Hips, "translation",
            AddAccessor(d, Float, TINYGLTF_TYPE_VEC3, frames, TranslationBytes));
    for (int i = 0; i < body::NodeCount; ++i) {
        channel(i, "rotation", AddAccessor(d, Float, TINYGLTF_TYPE_VEC4, frames, RotationBytes));
    }
    d.model.animations.push_back(animation);
}

// The actor's measurements under the names of the actor file's keys, in glTF's axes and unit.
Value ActorExtras(const ActorData& actor) {
    const auto bones = body::ActorOffsets(actor);
    const auto radii = body::ActorRadii(actor);
    Value::Object bone;
    Value::Object radius;
    for (int i = 0; i < body::NodeCount; ++i) {
        bone[body::NodeNames[i]] = Array(ToGltf(bones[i]));
        radius[body::NodeNames[i]] = Value(Decimal(static_cast<float>(radii[i] * MetresPerInch)));
    }
    auto number = [](float v) { return Value(Decimal(std::isfinite(v) ? v : 0.0f)); };
    Value::Object measurements{
        {"Unit", Value(std::string("Meters"))},
        {"Axes", Value(std::string("X left Y up Z front"))},
        {"Bone", Value(bone)},
        {"ContactRadius", Value(radius)},
        {"MarkerOffset", Array(ToGltf(actor.MarkerOffset))},
        {"MarkerNode", Value(body::MarkerNode(actor))},
        {"UseTracker", number(actor.UseTracker)},
        {"FilterCoefficient", number(actor.FilterCoefficient)},
        {"Relative", number(actor.Relative)},
    };
    return Value(Value::Object{{"TelvoViewActor", Value(measurements)}});
}

} // namespace

Point ToGltf(const Vector& inches) {
    // + 0.0f: a zero turned round is +0, not the -0 that readers would show.
    return {static_cast<float>(inches.x * MetresPerInch) + 0.0f,
            static_cast<float>(inches.z * MetresPerInch) + 0.0f,
            static_cast<float>(-inches.y * MetresPerInch) + 0.0f};
}

std::optional<Document> Describe(const Skeleton& skeleton, const ActorData& actor,
                                 std::string& why) {
    const uint32_t frames = skeleton.Frames != nullptr ? skeleton.FrameCount : 0;
    const float period = skeleton.FramePeriod;
    if (!std::isfinite(period) || period <= 0.0f) {
        why = "the frame period is not a positive number";
        return std::nullopt;
    }
    if (frames > MaxFrames) {
        why = "too long for a glTF file: more than " + std::to_string(MaxFrames) + " frames";
        return std::nullopt;
    }
    const auto offsets = body::SkeletonOffsets(skeleton);
    std::array<Vector, body::NodeCount> rest;
    rest[body::Hips] = offsets[body::Hips];
    for (int i = 1; i < body::NodeCount; ++i) {
        const Vector& p = rest[body::Parent[i]];
        const Vector& o = offsets[i];
        rest[i] = {p.x + o.x, p.y + o.y, p.z + o.z};
    }

    Document d;
    d.model.asset.version = "2.0";
    d.model.asset.generator = "TelvoView " TELVO_VERSION;
    AddSkeleton(d, offsets, rest);
    tinygltf::Scene scene;
    scene.name = "Take";
    scene.nodes = {body::Hips};
    // Skinned meshes sit beside the skeleton, not in it: their own place does not count.
    if (const Mesh mesh = SolidBodies(offsets, rest); !mesh.positions.empty()) {
        AddMesh(d, mesh);
        tinygltf::Node figure;
        figure.name = "Figure";
        figure.mesh = 0;
        figure.skin = 0;
        d.model.nodes.push_back(figure);
        scene.nodes.push_back(static_cast<int>(d.model.nodes.size() - 1));
    }
    scene.extras = ActorExtras(actor);
    d.model.scenes.push_back(scene);
    d.model.defaultScene = 0;
    if (frames > 0) {
        AddAnimation(d, frames, period);
    }
    return d;
}

std::string JsonChunk(const Document& document) {
    std::ostringstream out;
    tinygltf::TinyGLTF saver;
    saver.WriteGltfSceneToStream(&document.model, out, false, false);
    std::string json = out.str();
    // The saver leaves buffer 0 out when it has no bytes: name its length here.
    while (!json.empty() && json.back() != '}') {
        json.pop_back();
    }
    if (json.empty()) {
        return json;
    }
    json.pop_back();
    json += ",\"buffers\":[{\"byteLength\":" + std::to_string(document.binaryLength) + "}]}";
    json.append((4 - json.size() % 4) % 4, ' ');
    return json;
}

} // namespace telvo::gltf
