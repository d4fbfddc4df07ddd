#include <QDomDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <chrono>
#include <new>
#include <thread>
#include <atomic>
#include <functional>
#include <vector>
#include <gtest/gtest.h>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"
#include "ryx/core/device_lock.h"
#include "support/host.h"

namespace {

// A derived channel that doubles every sample of its parent, as filters do.
class doubler : public ryx::analog_data
{
public:
    using ryx::analog_data::analog_data;
    ~doubler() override { prepare_deleting(); }

    void set_data(const_iterator first, const_iterator last) override
    {
        assign(first, last);
        for (double& x : *this)
            x *= 2.0;
        ryx::analog_data::set_data(begin(), end());
    }
};

// A derived channel that keeps a pointer to its source and drops it when the source goes.
class watcher : public ryx::analog_data
{
public:
    explicit watcher(ryx::analog_data* src) : ryx::analog_data(src, false), source(src)
    {
        QObject::connect(src, &ryx::data_model_node::deleting, this, [this] { source = nullptr; });
    }
    ~watcher() override
    {
        prepare_deleting();
        // The source has announced its deletion (the pointer is dropped), yet it
        // is still whole while its children go.
        source_dropped = source == nullptr;
        if (auto* parent = qobject_cast<ryx::analog_data*>(parent_node()))
            source_name_at_destruction = parent->name();
    }
    ryx::analog_data* source;
    static QString source_name_at_destruction;
    static bool source_dropped;
};
QString watcher::source_name_at_destruction;
bool watcher::source_dropped = false;

} // namespace

TEST(host, runs_reach_derived_channels_in_order)
{
    ryx::test::host h(1000.0);
    auto* src = h.channel();
    auto* d1 = new doubler(src, false);
    auto* d2 = new doubler(d1, false);
    EXPECT_DOUBLE_EQ(d2->get_rate(), 1000.0);

    QSignalSpy src_spy(src, &ryx::analog_data::data_changed);
    QSignalSpy d2_spy(d2, &ryx::analog_data::data_changed);
    h.push(src, {1.0, 2.0, 3.0, 4.0, 5.0}, 2);

    EXPECT_EQ(src_spy.count(), 3);
    EXPECT_EQ(d2_spy.count(), 3);
    EXPECT_EQ(*d2, (std::vector<double>{20.0}));
    EXPECT_EQ(*d1, (std::vector<double>{10.0}));
}

TEST(host, set_data_accepts_a_run_inside_its_own_vector)
{
    ryx::test::host h(10.0);
    auto* ch = h.channel();
    h.push(ch, {1, 2, 3, 4, 5});
    ch->set_data(ch->cbegin() + 2, ch->cend());
    EXPECT_EQ(*ch, (std::vector<double>{3, 4, 5}));
    ch->set_data(ch->cbegin(), ch->cend());
    EXPECT_EQ(*ch, (std::vector<double>{3, 4, 5}));
    ch->set_data(ch->cbegin(), ch->cbegin());
    EXPECT_TRUE(ch->empty());
}

TEST(host, rate_changes_follow_the_tree)
{
    ryx::test::host h(1000.0);
    auto* d = new doubler(h.channel(), false);
    QSignalSpy spy(d, &ryx::analog_data::rate_changed);
    h.channel()->set_rate(2000.0);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(d->get_rate(), 2000.0);
    h.channel()->set_rate(std::nan(""));
    h.channel()->set_rate(-1.0);
    EXPECT_DOUBLE_EQ(d->get_rate(), 2000.0);
}

TEST(host, deleting_is_announced_once_while_whole_and_children_go_first)
{
    ryx::test::host h(100.0);
    auto* src = h.channel();
    src->set_name("source");
    auto* w = new watcher(src);
    QPointer<ryx::analog_data> guard(w);
    auto* grandchild = new doubler(w, false);
    QPointer<ryx::analog_data> grand_guard(grandchild);

    QSignalSpy spy(src, &ryx::data_model_node::deleting);
    watcher::source_name_at_destruction.clear();
    delete src;
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(guard.isNull());
    EXPECT_TRUE(grand_guard.isNull());
    EXPECT_EQ(watcher::source_name_at_destruction, "source");
    EXPECT_TRUE(watcher::source_dropped);
    EXPECT_TRUE(h.dev().child_nodes().empty());
}

TEST(host, deleting_a_child_detaches_it_from_the_parent)
{
    ryx::test::host h(100.0);
    auto* d = new doubler(h.channel(), false);
    QSignalSpy spy(d, &ryx::data_model_node::deleting);
    delete d;
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(h.channel()->child_channels().empty());
    h.push(h.channel(), {1.0, 2.0}); // must not reach the deleted child
    h.destroy();                       // deleting the device deletes the channels
}

TEST(host, a_child_deleted_while_its_parent_publishes_is_skipped)
{
    ryx::test::host h(100.0);
    auto* first = new doubler(h.channel(), false);
    auto* second = new doubler(h.channel(), false);
    QPointer<ryx::analog_data> second_guard(second);
    QObject::connect(first, &ryx::analog_data::data_changed, [&] { delete second_guard.data(); });
    h.push(h.channel(), {1.0});
    EXPECT_TRUE(second_guard.isNull());
    EXPECT_EQ(*first, (std::vector<double>{2.0}));
}

TEST(host, device_lock_nests_and_counts_across_channel_brackets)
{
    ryx::test::host h(100.0);
    auto* ch = h.channel();
    auto* d = new doubler(ch, false);
    ryx::device& dev = h.dev();

    dev.lock_ai(QString());
    ch->lock_device(QString());
    d->lock_device("set array");
    EXPECT_EQ(dev.lock_depth(), 3);
    d->unlock_device("set array");
    ch->unlock_device(QString());
    EXPECT_EQ(dev.lock_depth(), 1);
    dev.unlock_ai(QString());
    EXPECT_EQ(dev.lock_depth(), 0);
    EXPECT_FALSE(dev.is_locked());
    dev.unlock_ai(QString()); // an unbalanced unlock is ignored
    EXPECT_FALSE(dev.is_locked());

    ryx::analog_data loose(static_cast<ryx::analog_data*>(nullptr), false);
    loose.lock_device(QString()); // no device at the root: nothing to lock
    loose.unlock_device(QString());
}

TEST(host, another_thread_waits_while_the_lock_is_held)
{
    ryx::device dev("d");
    std::atomic<int> stage{0};
    dev.lock_ai(QString());
    dev.lock_ai(QString());
    std::thread other([&] {
        stage = 1;
        dev.unlock_ai(QString()); // not the owner: ignored
        dev.lock_ai(QString());
        stage = 2;
        dev.unlock_ai(QString());
    });
    while (stage.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(stage.load(), 1);
    dev.unlock_ai(QString());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(stage.load(), 1); // still one bracket open
    dev.unlock_ai(QString());
    other.join();
    EXPECT_EQ(stage.load(), 2);
}

TEST(host, the_scoped_lock_releases_on_every_way_out)
{
    ryx::test::host h(100.0);
    auto* ch = h.channel();
    ryx::device& dev = h.dev();
    try {
        const ryx::device_lock outer(ch, "set array");
        const ryx::device_lock inner(&dev);
        EXPECT_EQ(dev.lock_depth(), 2);
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    EXPECT_FALSE(dev.is_locked());

    {
        ryx::device_lock early(ch);
        early.unlock();
        early.unlock(); // a second release does nothing
        EXPECT_FALSE(dev.is_locked());
    }
    EXPECT_FALSE(dev.is_locked());

    ryx::analog_data loose(static_cast<ryx::analog_data*>(nullptr), false);
    { const ryx::device_lock none(&loose); } // no device at the root: nothing to lock
    { const ryx::device_lock none(static_cast<ryx::device*>(nullptr)); }

    // The device goes away while the guard holds its lock (a slot deleted the
    // tree): the guard then touches nothing.
    auto* doomed = new ryx::device("doomed");
    {
        const ryx::device_lock held(doomed->add_channel("x", 10.0));
        delete doomed;
    }
}

TEST(host, base_parameters_settings_and_persistence)
{
    ryx::test::host h(500.0);
    auto* ch = h.channel();
    QSignalSpy unit_spy(ch, &ryx::analog_data::unit_changed);

    EXPECT_TRUE(ch->set_parameter("name", "renamed"));
    EXPECT_EQ(ch->name(), "renamed");
    EXPECT_TRUE(ch->set_parameter("unit", 1));
    EXPECT_EQ(ch->unit(), ryx::units::dB);
    EXPECT_TRUE(ch->set_parameter("unit", 7)); // taken, but out of range: ignored
    EXPECT_EQ(ch->unit(), ryx::units::dB);
    EXPECT_EQ(unit_spy.count(), 1);
    EXPECT_FALSE(ch->set_parameter("10_name", "x"));
    EXPECT_FALSE(ch->set_parameter("Name", "x"));

    const QJsonObject s = ch->settings();
    EXPECT_TRUE(s.contains("12_unit"));
    EXPECT_EQ(s["12_unit"].toObject()["type"].toString(), "combobox");
    EXPECT_EQ(s["12_unit"].toObject()["value"].toInt(), 1);
    for (const QString& key : s.keys())
        EXPECT_LT(key.left(2).toInt(), 20) << key.toStdString();

    QDomDocument doc;
    QDomElement e = doc.createElement("channel");
    ch->save(e);
    auto* other = h.dev().add_channel("other", 500.0);
    other->load(e);
    EXPECT_EQ(other->name(), "renamed");
    EXPECT_EQ(other->unit(), ryx::units::dB);

    QDomElement bad = doc.createElement("channel");
    bad.setAttribute("unit", "99999999999");
    other->load(bad);
    EXPECT_EQ(other->unit(), ryx::units::dB);

    QJsonObject state;
    ch->get_state(state);
    EXPECT_EQ(state["name"].toString(), "renamed");
    EXPECT_DOUBLE_EQ(state["rate"].toDouble(), 500.0);
}

TEST(host, children_are_saved_and_loaded_in_order_without_temporary_ones)
{
    ryx::test::host h(100.0);
    auto* a = new doubler(h.channel(), false);
    new doubler(h.channel(), true);
    auto* b = new doubler(h.channel(), false);
    a->set_name("a");
    b->set_name("b");
    EXPECT_TRUE(a->is_checkable());

    QDomDocument doc;
    QDomElement root = doc.createElement("channel");
    h.channel()->save_childs(root);
    EXPECT_EQ(root.childNodes().count(), 2);

    a->set_name("x");
    b->set_name("y");
    h.channel()->load_childs(root);
    EXPECT_EQ(a->name(), "a");
    EXPECT_EQ(b->name(), "b");
}

TEST(host, units_is_a_property_type)
{
    ryx::test::host h(100.0);
    auto* ch = h.channel();
    EXPECT_TRUE(ch->setProperty("unit", QVariant::fromValue(ryx::units::rms)));
    EXPECT_EQ(ch->property("unit").value<ryx::units>(), ryx::units::rms);
    EXPECT_EQ(static_cast<int>(ryx::units::dB), 1);
}

TEST(host, runs_are_published_under_the_device_lock_and_a_source_may_go_mid_run)
{
    ryx::test::host h(100.0);
    auto* src = h.channel();
    auto* child = new doubler(src, false);
    int depth_seen = -1;
    QObject::connect(child, &ryx::analog_data::data_changed, [&] { depth_seen = h.dev().lock_depth(); });
    h.push(src, {1.0});
    EXPECT_GE(depth_seen, 1);
    EXPECT_EQ(h.dev().lock_depth(), 0);

    // A listener deletes the source while its run is being published.
    QObject::connect(src, &ryx::analog_data::data_changed, [&] { delete src; });
    QPointer<ryx::analog_data> child_guard(child);
    const std::vector<double> run{1.0, 2.0};
    src->set_data(run.cbegin(), run.cend());
    EXPECT_TRUE(child_guard.isNull());
    EXPECT_FALSE(h.dev().is_locked());
}

namespace {

// A derived channel that counts the runs it receives and can act on the tree
// when one arrives.
class counter : public ryx::analog_data
{
public:
    using ryx::analog_data::analog_data;
    ~counter() override { prepare_deleting(); }

    void set_data(const_iterator first, const_iterator last) override
    {
        ++runs;
        const QPointer<counter> alive(this);
        ryx::analog_data::set_data(first, last); // a grandchild may delete this channel
        if (alive && on_run) {
            // A copy: the action may delete this channel, and its own closure with it.
            const auto act = on_run;
            act();
        }
    }
    int runs = 0;
    std::function<void()> on_run;
};

} // namespace

TEST(host, the_receivers_of_a_run_are_the_children_present_when_it_was_published)
{
    // More children than a host usually gives a channel; the middle one deletes
    // an earlier and a later sibling and adds a new child.
    ryx::test::host h(100.0);
    auto* src = h.channel();
    std::vector<QPointer<counter>> kids;
    for (int i = 0; i < 40; ++i)
        kids.emplace_back(new counter(src, false));
    counter* added = nullptr;
    kids[20]->on_run = [&] {
        delete kids[5].data();
        delete kids[30].data();
        if (!added)
            added = new counter(src, false);
    };
    h.push(src, {1.0});
    for (int i = 0; i < 40; ++i) {
        if (i == 5 || i == 30)
            EXPECT_TRUE(kids[i].isNull()) << i;
        else
            EXPECT_EQ(kids[i]->runs, 1) << i;
    }
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->runs, 0); // added during the run: from the next one on
    h.push(src, {2.0});
    EXPECT_EQ(added->runs, 1);
    EXPECT_EQ(kids[39]->runs, 2);
}

TEST(host, a_child_may_delete_itself_its_source_or_the_whole_tree_mid_run)
{
    for (int victim = 0; victim < 3; ++victim) {
        auto* dev = new ryx::device("d");
        QPointer<ryx::device> dev_guard(dev);
        auto* src = dev->add_channel("x", 100.0);
        auto* first = new counter(src, false);
        auto* second = new counter(src, false);
        auto* grandchild = new counter(first, false);
        QPointer<counter> second_guard(second);
        grandchild->on_run = [&, victim] {
            if (victim == 0)
                delete grandchild;
            else if (victim == 1)
                delete src;
            else
                delete dev;
        };
        const std::vector<double> run{1.0, 2.0};
        src->set_data(run.cbegin(), run.cend());
        if (victim == 0) {
            EXPECT_EQ(second_guard->runs, 1);
            EXPECT_TRUE(first->child_channels().empty());
        } else {
            EXPECT_TRUE(second_guard.isNull()) << victim; // gone before its turn came
        }
        if (victim < 2) {
            EXPECT_FALSE(dev->is_locked()) << victim;
            delete dev;
        } else {
            EXPECT_TRUE(dev_guard.isNull());
        }
    }
}

TEST(host, a_guard_follows_a_walk_while_children_go_and_come)
{
    ryx::data_model_node root;
    std::vector<QPointer<ryx::data_model_node>> kids;
    for (int i = 0; i < 5; ++i)
        kids.emplace_back(new ryx::data_model_node(&root));

    ryx::node_guard guard(&root);
    guard.start_children();
    EXPECT_EQ(guard.next_child(), kids[0].data());
    EXPECT_EQ(guard.next_child(), kids[1].data());
    delete kids[1].data(); // the one just visited
    delete kids[3].data(); // one still ahead
    new ryx::data_model_node(&root);
    EXPECT_EQ(guard.next_child(), kids[2].data());
    EXPECT_EQ(guard.next_child(), kids[4].data());
    EXPECT_EQ(guard.next_child(), nullptr);

    {
        ryx::node_guard inner(kids[4].data());
        ryx::node_guard nested(kids[4].data());
        delete kids[4].data();
        EXPECT_EQ(inner.node(), nullptr);
        EXPECT_EQ(nested.node(), nullptr);
        EXPECT_EQ(inner.next_child(), nullptr);
    }
    EXPECT_EQ(guard.node(), &root);
}

TEST(host, the_device_lock_excludes_other_threads_and_counts_per_thread)
{
    // Threads that each nest the lock twice and bump a plain counter: any
    // overlap shows as a lost increment, and under ThreadSanitizer as a race.
    ryx::device dev("d");
    constexpr int threads = 4;
    constexpr int rounds = 20000;
    long shared = 0;
    std::atomic<int> wrong_depth{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                const ryx::device_lock outer(&dev);
                const ryx::device_lock inner(&dev);
                if (dev.lock_depth() != 2)
                    ++wrong_depth;
                ++shared;
            }
            if (dev.lock_depth() != 0)
                ++wrong_depth;
        });
    }
    for (auto& t : pool)
        t.join();
    EXPECT_EQ(shared, long(threads) * rounds);
    EXPECT_EQ(wrong_depth.load(), 0);
    EXPECT_FALSE(dev.is_locked());
}
