// Octree insertion, reduction to 254 leaves and palette writing.
#include "encoder/codec/octree.h"

namespace quil {

ColorOctree::ColorOctree() { clear(); }

void ColorOctree::clear() {
    m_nodes.clear();
    m_free.clear();
    m_heads.fill(kNone);
    m_leafDepthLimit = 4;
    m_leafCount = 0;
    newNode(kNone, 128, 0);
}

int32_t ColorOctree::newNode(int32_t parent, uint8_t mask, uint8_t depth) {
    int32_t n;
    if (!m_free.empty()) {
        n = m_free.back();
        m_free.pop_back();
        m_nodes[size_t(n)] = Node{};
    } else {
        n = int32_t(m_nodes.size());
        m_nodes.emplace_back();
    }
    Node& node = m_nodes[size_t(n)];
    node.parent = parent;
    node.mask = mask;
    node.depth = depth;
    node.next = m_heads[depth];
    if (node.next != kNone) {
        m_nodes[size_t(node.next)].prev = n;
    }
    m_heads[depth] = n;
    return n;
}

void ColorOctree::unlink(int32_t n) {
    Node& node = m_nodes[size_t(n)];
    if (node.prev != kNone) {
        m_nodes[size_t(node.prev)].next = node.next;
    } else {
        m_heads[node.depth] = node.next;
    }
    if (node.next != kNone) {
        m_nodes[size_t(node.next)].prev = node.prev;
    }
    node.prev = node.next = kNone;
}

void ColorOctree::insert(int r, int g, int b, uint32_t w) {
    int32_t n = 0;
    for (;;) {
        Node* node = &m_nodes[size_t(n)];
        node->weight += w;
        node->redSum += uint64_t(w) * uint64_t(r);
        node->greenSum += uint64_t(w) * uint64_t(g);
        node->blueSum += uint64_t(w) * uint64_t(b);
        const int mask = node->mask;
        const int index = ((r & mask) ? 4 : 0) + ((g & mask) ? 2 : 0) + ((b & mask) ? 1 : 0);
        if (node->children[size_t(index)] != kNone) {
            n = node->children[size_t(index)];
            continue;
        }
        if (mask <= m_leafDepthLimit || node->leaf || node->depth + 1 >= kDepths) {
            return;
        }
        const int32_t child = newNode(n, uint8_t(mask >> 1), uint8_t(node->depth + 1));
        node = &m_nodes[size_t(n)]; // the pool may have moved
        node->children[size_t(index)] = child;
        if ((mask >> 1) == m_leafDepthLimit) {
            m_nodes[size_t(child)].leaf = true;
            ++m_leafCount;
        }
        n = child;
    }
}

void ColorOctree::reduce() {
    while (m_leafCount > kMaxLeaves) {
        int depth = kDepths - 1;
        while (depth >= 1 && m_heads[size_t(depth)] == kNone) {
            --depth;
        }
        if (depth < 1) {
            return;
        }
        int32_t n = m_heads[size_t(depth)];
        int32_t candidate = m_nodes[size_t(n)].parent;
        for (n = m_nodes[size_t(n)].next; n != kNone; n = m_nodes[size_t(n)].next) {
            const int32_t parent = m_nodes[size_t(n)].parent;
            if (m_nodes[size_t(parent)].weight < m_nodes[size_t(candidate)].weight) {
                candidate = parent;
            }
        }
        Node& c = m_nodes[size_t(candidate)];
        c.leaf = true;
        for (int32_t& child : c.children) {
            if (child != kNone) {
                // Children of the deepest list have no children of their own.
                unlink(child);
                m_free.push_back(child);
                child = kNone;
                --m_leafCount;
            }
        }
        ++m_leafCount;
        if (m_heads[size_t(depth)] == kNone) {
            m_leafDepthLimit = c.mask;
        }
    }
}

int ColorOctree::writePalette(MovieColorTable& table) {
    int index = 1;
    for (int depth = 0; depth < kDepths; ++depth) {
        for (int32_t n = m_heads[size_t(depth)]; n != kNone; n = m_nodes[size_t(n)].next) {
            Node& node = m_nodes[size_t(n)];
            if (!node.leaf || node.weight == 0 || index > kMaxLeaves) {
                continue;
            }
            auto channel = [&](uint64_t sum) { return int((sum / node.weight) & 248) + 4; };
            node.paletteIndex = uint8_t(index);
            table[size_t(index)] =
                rgb(channel(node.redSum), channel(node.greenSum), channel(node.blueSum));
            ++index;
        }
    }
    const int written = index - 1;
    for (; index <= kMaxLeaves; ++index) {
        table[size_t(index)] = ColorEntry{};
    }
    return written;
}

} // namespace quil
