#!/usr/bin/env python3
"""Makes the benchmark's sales database: make_sales_db.py <lines> <file>.

Customers, products, orders and order lines, and the order_lines table the
sample report reads (one row per line with its customer and product). The
same line count always gives the same file contents: a fixed linear
congruential generator, not the random module. Orders have 1-19 lines; about
5% of customers have no city or country, and about 5% of lines no product or
no amount. Names mix ASCII, Latin-1, Greek and Cyrillic.
"""
import os
import sqlite3
import sys

FIRST = ["Anna", "Björn", "Zoë", "François", "José", "Ægir", "Łukasz", "Νίκος", "Ελένη", "Иван",
         "Ольга", "Mia", "Owen", "Søren", "Inés", "Δημήτρης", "Наталья", "Grégoire"]
LAST = ["Alder", "Müller", "Ångström", "Núñez", "Brightwater", "Østergaard", "Παπαδόπουλος",
        "Γεωργίου", "Смирнов", "Кузнецова", "Castell", "Dunmore", "Fennick", "Señoret", "Ærø",
        "Ваsильев", "Reed", "Ibáñez"]
KIND = ["Trading", "& Sons", "Ltd", "Outfitters", "Supply", "Handel", "Εμπορική", "Торговля"]
CITIES = ["Bergen", "Leeds", "Hamburg", "Cork", "Malmö", "Lyon", "Zürich", "Αθήνα", "Москва",
          "Kraków", "São Paulo", "Θεσσαλονίκη", "Санкт-Петербург", "Reykjavík"]
COUNTRIES = ["Norway", "United Kingdom", "Germany", "Ireland", "Sweden", "France", "Switzerland",
             "Ελλάδα", "Россия", "Polska", "Brasil", "Ελλάδα", "Россия", "Ísland"]
GOODS = ["Canvas tent", "Sleeping bag", "Trail boots", "Rain jacket", "Camp stove", "Wool socks",
         "Κουβέρτα", "Фонарь", "Gürtel", "Hängematte", "Thermos", "Rope 20 m", "Компас", "Πυξίδα"]


class Lcg:
    def __init__(self, seed):
        self.state = seed

    def next(self, n):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
        return (self.state >> 33) % n


def main():
    lines, path = int(sys.argv[1]), sys.argv[2]
    if os.path.exists(path):
        os.remove(path)
    rng = Lcg(20261207)
    db = sqlite3.connect(path)
    db.executescript("""
      pragma journal_mode = off; pragma synchronous = off;
      create table customers (cust_id integer primary key, company varchar(40) not null,
        contact varchar(30), city varchar(20), country varchar(20));
      create table products (prod_id integer primary key, name varchar(30) not null, unit_price double);
      create table orders (order_id integer primary key, cust_id integer not null, order_date date not null);
      create table order_items (order_id integer not null, line_no integer not null, prod_id integer,
        quantity integer not null, amount double, primary key (order_id, line_no));
      create table order_lines (company varchar(40), country varchar(20), order_id integer,
        order_date date, product varchar(30), quantity integer, unit_price double, amount double);
    """)
    customers = max(1, lines // 100)
    cust = []
    for c in range(1, customers + 1):
        company = "%s %s %s %05d" % (LAST[rng.next(len(LAST))], FIRST[rng.next(len(FIRST))],
                                     KIND[rng.next(len(KIND))], c)
        place = rng.next(len(CITIES))
        nowhere = rng.next(20) == 0
        city = None if nowhere else CITIES[place]
        country = None if nowhere else COUNTRIES[place]
        cust.append((c, company, FIRST[rng.next(len(FIRST))], city, country))
    db.executemany("insert into customers values (?, ?, ?, ?, ?)", cust)
    products = []
    for p in range(1, 201):
        products.append((p, "%s %d" % (GOODS[p % len(GOODS)], p), (rng.next(40000) + 100) / 100.0))
    db.executemany("insert into products values (?, ?, ?)", products)

    orders, items, flat = [], [], []
    order_id, made = 1000, 0
    while made < lines:
        order_id += 1
        c = cust[rng.next(customers)]
        date = "%04d-%02d-%02d" % (1995 + rng.next(10), 1 + rng.next(12), 1 + rng.next(28))
        orders.append((order_id, c[0], date))
        count = min(1 + rng.next(19), lines - made)
        for line_no in range(1, count + 1):
            prod = None if rng.next(20) == 0 else products[rng.next(len(products))]
            quantity = 1 + rng.next(50)
            amount = None
            if rng.next(20) != 0:
                price = prod[2] if prod else 1.0
                amount = round(quantity * price, 2)
            items.append((order_id, line_no, prod[0] if prod else None, quantity, amount))
            flat.append((c[1], c[4], order_id, date, prod[1] if prod else None, quantity,
                         prod[2] if prod else None, amount))
        made += count
        if len(flat) >= 50000:
            db.executemany("insert into orders values (?, ?, ?)", orders)
            db.executemany("insert into order_items values (?, ?, ?, ?, ?)", items)
            db.executemany("insert into order_lines values (?, ?, ?, ?, ?, ?, ?, ?)", flat)
            orders, items, flat = [], [], []
    db.executemany("insert into orders values (?, ?, ?)", orders)
    db.executemany("insert into order_items values (?, ?, ?, ?, ?)", items)
    db.executemany("insert into order_lines values (?, ?, ?, ?, ?, ?, ?, ?)", flat)
    db.commit()
    db.close()


if __name__ == "__main__":
    main()
