-- The sample database of the README: a small shop. Make it with
--   sqlite3 sample.db < samples/sample_db.sql
create table customers (
  cust_id integer primary key,
  company varchar(40) not null,
  contact varchar(30),
  city varchar(20),
  country varchar(20),
  credit_limit numeric(10,2),
  since date
);
insert into customers values (1, 'Alder & Sons', 'Mia Alder', 'Bergen', 'Norway', 5000.00, '1994-03-01');
insert into customers values (2, 'Brightwater Ltd', 'Owen Reed', 'Leeds', 'United Kingdom', 12000.00, '1995-07-15');
insert into customers values (3, 'Castell Trading', 'Lena Voss', 'Hamburg', 'Germany', 7500.00, '1996-01-20');
insert into customers values (4, 'Dunmore Supply', 'Ava Quinn', 'Cork', 'Ireland', 3000.00, '1996-11-02');
insert into customers values (5, 'Esker Outfitters', 'Noah Berg', 'Malmö', 'Sweden', 9000.00, '1997-05-30');
insert into customers values (6, 'Fennick Tools', 'Ruth Imber', 'Lyon', 'France', 4500.00, '1998-09-09');

create table products (
  prod_id integer primary key,
  name varchar(30) not null,
  category varchar(15),
  unit_price double,
  in_stock integer
);
insert into products values (10, 'Canvas tent', 'Camping', 189.00, 12);
insert into products values (11, 'Sleeping bag', 'Camping', 79.50, 40);
insert into products values (12, 'Trail boots', 'Footwear', 129.95, 25);
insert into products values (13, 'Rain jacket', 'Clothing', 99.00, 30);
insert into products values (14, 'Camp stove', 'Camping', 54.25, 18);
insert into products values (15, 'Wool socks', 'Clothing', 12.50, 200);

create table orders (
  order_id integer primary key,
  cust_id integer not null references customers(cust_id),
  order_date date not null,
  shipped timestamp,
  paid bit
);
insert into orders values (1001, 1, '1998-01-12', '1998-01-14 09:30:00', 1);
insert into orders values (1002, 2, '1998-01-19', '1998-01-20 15:05:00', 1);
insert into orders values (1003, 1, '1998-02-03', '1998-02-05 11:00:00', 1);
insert into orders values (1004, 3, '1998-02-17', null, 0);
insert into orders values (1005, 5, '1998-03-02', '1998-03-03 08:45:00', 1);
insert into orders values (1006, 6, '1998-03-21', '1998-03-24 10:15:00', 0);
insert into orders values (1007, 2, '1998-04-06', null, 0);

create table order_items (
  order_id integer not null references orders(order_id),
  prod_id integer not null references products(prod_id),
  quantity integer not null,
  primary key (order_id, prod_id)
);
insert into order_items values (1001, 10, 2);
insert into order_items values (1001, 11, 4);
insert into order_items values (1002, 12, 10);
insert into order_items values (1002, 15, 50);
insert into order_items values (1003, 14, 3);
insert into order_items values (1004, 13, 6);
insert into order_items values (1005, 10, 1);
insert into order_items values (1005, 12, 2);
insert into order_items values (1006, 11, 8);
insert into order_items values (1007, 15, 120);

-- What the sample report reads: one row per order line with its customer,
-- product and amount. A table rather than a view, so that every column has
-- a declared type the ODBC driver reports (a view's computed column has none).
create table order_lines (
  company varchar(40),
  country varchar(20),
  order_id integer,
  order_date date,
  product varchar(30),
  quantity integer,
  unit_price double,
  amount double
);
insert into order_lines
  select c.company, c.country, o.order_id, o.order_date, p.name,
         i.quantity, p.unit_price, i.quantity * p.unit_price
  from order_items i
  join orders o on o.order_id = i.order_id
  join customers c on c.cust_id = o.cust_id
  join products p on p.prod_id = i.prod_id;
